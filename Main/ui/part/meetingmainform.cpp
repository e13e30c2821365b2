#include "ui/part/meetingmainform.h"

MeetingMainForm::MeetingMainForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("MeetingMainForm");
}
