#include "ui/Dialog/firsttooltipsform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

FirstTooltipsForm::FirstTooltipsForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("FirstTooltipsForm");
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8("点击这里查看使用帮助"), this));
    auto* close = new QPushButton(QStringLiteral("×"), this);
    close->setObjectName("pushButton_ftip_close");
    layout->addWidget(close);
    connect(close, &QPushButton::clicked, this, &FirstTooltipsForm::sig_firstClose);
    adjustSize();
}
