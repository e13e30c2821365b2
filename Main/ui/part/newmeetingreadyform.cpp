#include "ui/part/newmeetingreadyform.h"

NewMeetingReadyForm::NewMeetingReadyForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("NewMeetingReadyForm");
}
