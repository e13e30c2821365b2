#include "ui/messageform.h"

#include "ui/framelesswidgethelper.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MessageForm::MessageForm(int buttonKind, QWidget* parent)
    : QDialog(parent)
    , m_buttonKind(buttonKind)
{
    auto* layout = new QVBoxLayout(this);
    auto* child = new QWidget(this);
    child->setObjectName("top_childWidget");
    layout->addWidget(child);

    auto* column = new QVBoxLayout(child);
    column->setSpacing(21);
    column->setContentsMargins(21, 21, 21, 21);
    m_label = new QLabel(child);
    m_label->setAlignment(Qt::AlignCenter);
    column->addWidget(m_label);

    if (buttonKind == 1 || buttonKind == 2) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        auto* ok = new QPushButton(tr("确定", "OK"), child);
        ok->setObjectName("vf_btn_ok");
        connect(ok, &QPushButton::clicked, this, [this] {
            m_result = 1;
            close();
        });
        row->addWidget(ok);
        if (buttonKind == 1) {
            auto* cancel = new QPushButton(tr("取消", "Cancel"), child);
            cancel->setObjectName("vf_btn_cancel");
            connect(cancel, &QPushButton::clicked, this, [this] {
                m_result = 0;
                close();
            });
            row->addWidget(cancel);
        }
        row->addStretch();
        column->addLayout(row);
    }
    m_helper = new FramelessWidgetHelper(this);
}

MessageForm::~MessageForm() { delete m_helper; }

void MessageForm::setText(const QString& text) { m_label->setText(text); }

QString MessageForm::text() const { return m_label->text(); }

void MessageForm::announce()
{
    if (m_announced)
        return;
    m_announced = true;
    emit sig_select(m_result);
}

void MessageForm::closeEvent(QCloseEvent* event)
{
    announce();
    QDialog::closeEvent(event);
}

void MessageForm::done(int r)
{
    // Escape and reject() end the dialog without a close event.
    announce();
    QDialog::done(r);
}
