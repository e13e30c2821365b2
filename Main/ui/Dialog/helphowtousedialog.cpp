#include "ui/Dialog/helphowtousedialog.h"

HelpHowToUseDialog::HelpHowToUseDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("HelpHowToUseDialog");
}
