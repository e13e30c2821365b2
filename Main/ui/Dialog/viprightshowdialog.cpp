#include "ui/Dialog/viprightshowdialog.h"

#include <QHBoxLayout>
#include <QPushButton>

VIPRightShowDialog::VIPRightShowDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("VIPRightShowDialog");
    auto* layout = new QHBoxLayout(this);
    auto* payNow = new QPushButton(QString::fromUtf8("立即开通"), this);
    payNow->setObjectName("pushButton_pay_now");
    auto* close = new QPushButton(QString::fromUtf8("关闭"), this);
    close->setObjectName("pushButton_close");
    layout->addWidget(payNow);
    layout->addWidget(close);
    connect(payNow, &QPushButton::clicked, this, &QDialog::accept);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}
