#include "ui/Dialog/logindialog.h"

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("LoginDialog");
}
