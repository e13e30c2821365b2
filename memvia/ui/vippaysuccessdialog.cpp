#include "ui/vippaysuccessdialog.h"

#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"
#include "ui/framelesswidgethelper.h"
#include "ui/skinmgr.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariant>

VipPaySuccessDialog::VipPaySuccessDialog(QWidget* parent)
    : QDialog(parent)
{
    buildForm();
    setWindowTitle(tr("支付成功"));
    const double scale = Base::dpiScale();
    setFixedSize(int(330 * scale), int(220 * scale));
    SkinMgr::instance()->applyStyle(2, this);
    findChild<QToolButton*>("toolButton_okay")->setIconSize(QSize(int(32 * scale), int(32 * scale)));
    auto* close = findChild<QPushButton*>("pushButton_close");
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    setProperty("header_visible", false);
    setProperty("header_height", m_head->height());
    setProperty("header_btns", QVariant::fromValue(QObjectList { close }));
    FramelessWidgetHelper::frame(this);
}

void VipPaySuccessDialog::buildForm()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_head = new QWidget(this);
    m_head->setObjectName("widget_vip_head");
    m_head->setFixedHeight(30);
    auto* headRow = new QHBoxLayout(m_head);
    headRow->setContentsMargins(10, 0, 6, 0);
    auto* title = new QLabel(tr("支付成功"), m_head);
    title->setObjectName("label_pay_title");
    auto* close = new QPushButton("x", m_head);
    close->setObjectName("pushButton_close");
    headRow->addWidget(title);
    headRow->addStretch();
    headRow->addWidget(close);
    column->addWidget(m_head);

    auto* content = new QWidget(this);
    content->setObjectName("top_childWidget");
    auto* body = new QVBoxLayout(content);
    auto* okayRow = new QHBoxLayout;
    auto* okay = new QToolButton(content);
    okay->setObjectName("toolButton_okay");
    okay->setIcon(QIcon(":/imgs/openvip_success.png"));
    okay->setText("...");
    auto* okayText = new QLabel(tr("开通成功"), content);
    okayText->setObjectName("label_vipokay");
    okayRow->addStretch();
    okayRow->addWidget(okay);
    okayRow->addWidget(okayText);
    okayRow->addStretch();
    auto* endRow = new QHBoxLayout;
    auto* note = new QLabel(tr("您的会员已延期至"), content);
    note->setObjectName("label_endtime_note");
    m_endTime = new QLabel("end_time", content);
    m_endTime->setObjectName("label_endtime");
    endRow->addStretch();
    endRow->addWidget(note);
    endRow->addWidget(m_endTime);
    endRow->addStretch();
    auto* back = new QPushButton(tr("返回主界面"), content);
    back->setObjectName("pushButton_back");
    body->addStretch();
    body->addLayout(okayRow);
    body->addLayout(endRow);
    body->addStretch();
    body->addWidget(back, 0, Qt::AlignHCenter);
    column->addWidget(content, 1);
    QMetaObject::connectSlotsByName(this);
}

bool VipPaySuccessDialog::storeState(int errcode, const std::string& errmsg, const std::string& result)
{
    if (errcode != 0) {
        BG_LOGE("vip_queryProductState err: %s", errmsg.c_str());
        return false;
    }
    if (!VipData::instance()->parseProductStateResult(result))
        return false;
    m_endTime->setText(QString::fromStdString(VipData::instance()->endTimeText()));
    return true;
}

void VipPaySuccessDialog::slot_show()
{
    QPointer<VipPaySuccessDialog> self(this);
    VipNet::instance()->getProductState([self](int errcode, std::string errmsg, std::string result) {
        if (!self)
            return;
        if (self->storeState(errcode, errmsg, result)) {
            emit self->sig_vipState();
        } else {
            self->m_endTime->setText(QString::fromUtf8(kUnknownEnd));
            self->retry();
        }
        self->exec();
    });
}

void VipPaySuccessDialog::retry()
{
    QPointer<VipPaySuccessDialog> self(this);
    VipNet::instance()->getProductState([self](int errcode, std::string errmsg, std::string result) {
        if (!self) {
            // Closed meanwhile: the account still learns its new state.
            if (errcode == 0)
                VipData::instance()->parseProductStateResult(result);
            return;
        }
        if (self->storeState(errcode, errmsg, result))
            emit self->sig_vipState();
    });
}

void VipPaySuccessDialog::on_pushButton_back_clicked() { close(); }
