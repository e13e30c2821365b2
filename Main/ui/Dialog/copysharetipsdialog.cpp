#include "ui/Dialog/copysharetipsdialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CopyShareTipsDialog::CopyShareTipsDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("CopyShareTipsDialog");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8("分享链接已复制到剪贴板"), this));
    m_notRemind = new QCheckBox(QString::fromUtf8("不再提示"), this);
    m_notRemind->setObjectName("checkBox_not_reminder");
    layout->addWidget(m_notRemind);
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setObjectName("pushButton_ok");
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

bool CopyShareTipsDialog::isNotRemind() const { return m_notRemind->isChecked(); }
