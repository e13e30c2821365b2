#include "ui/vippaydialog.h"

#include "base/base.h"
#include "base/vip/vippaths.h"
#include "ui/framelesswidgethelper.h"
#include "ui/skinmgr.h"
#include "ui/userpayform.h"
#include "ui/vipspeciesbutton.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVariant>
#include <QVBoxLayout>

VipPayDialog::VipPayDialog(QWidget* parent)
    : QDialog(parent)
{
    buildForm();
    setWindowTitle(tr("会员充值"));
    setWindowIcon(QIcon());
    setWindowFlags(Qt::Dialog);

    m_personal = new UserPayForm(0, m_userPage);
    m_personal->setObjectName("widget_userPay");
    m_business = new UserPayForm(1, m_businessPage);
    m_business->setObjectName("widget_busipay");
    for (auto [page, form] : { std::pair<QWidget*, UserPayForm*> { m_userPage, m_personal },
             std::pair<QWidget*, UserPayForm*> { m_businessPage, m_business } }) {
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(form);
    }
    connect(m_personal, &UserPayForm::sig_paySuccess, this, &VipPayDialog::slot_paySuccess);
    connect(m_business, &UserPayForm::sig_noProduct, this, &VipPayDialog::slot_notBusi);
    connect(m_business, &UserPayForm::sig_paySuccess, this, &VipPayDialog::slot_paySuccess);

    m_line->hide();
    SkinMgr::instance()->applyStyle(5, this);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    m_businessTab->setKind(false);
    m_userTab->setKind(true);
    m_userTab->setCheckable(true);
    m_businessTab->setCheckable(true);
    m_stack->setCurrentWidget(m_userPage);
    m_userTab->setChecked(true);
    m_businessTab->setChecked(false);

    setProperty("header_visible", false);
    setProperty("header_height", m_head->height());
    setProperty("header_btns", QVariant::fromValue(QObjectList { m_close, m_description }));
    FramelessWidgetHelper::frame(this);
    m_description->hide();
}

void VipPayDialog::buildForm()
{
    resize(650, 476);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_head = new QWidget(this);
    m_head->setObjectName("widget_vip_head");
    m_head->setFixedHeight(30);
    auto* headRow = new QHBoxLayout(m_head);
    headRow->setContentsMargins(10, 0, 6, 0);
    auto* title = new QLabel(tr("会员充值"), m_head);
    title->setObjectName("label_pay_title");
    m_description = new QPushButton(tr("会员权益详情"), m_head);
    m_description->setObjectName("pushButton_vip_desc");
    m_close = new QPushButton("x", m_head);
    m_close->setObjectName("pushButton_close");
    headRow->addWidget(title);
    headRow->addStretch();
    headRow->addWidget(m_description);
    headRow->addWidget(m_close);
    column->addWidget(m_head);

    auto* tabs = new QHBoxLayout;
    tabs->setSpacing(0);
    m_userTab = new VipSpeciesButton(this);
    m_userTab->setObjectName("toolButton_userpay");
    m_businessTab = new VipSpeciesButton(this);
    m_businessTab->setObjectName("toolButton_busipay");
    for (VipSpeciesButton* tab : { m_userTab, m_businessTab }) {
        tab->setCursor(Qt::PointingHandCursor);
        tab->setMinimumHeight(64);
        tab->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        tabs->addWidget(tab);
    }
    column->addLayout(tabs);
    m_line = new QWidget(this);
    m_line->setObjectName("widget_line");
    m_line->setFixedHeight(1);
    column->addWidget(m_line);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName("stackedWidget");
    m_userPage = new QWidget(m_stack);
    m_userPage->setObjectName("page_userpay");
    m_businessPage = new QWidget(m_stack);
    m_businessPage->setObjectName("page_busipay");
    m_stack->addWidget(m_userPage);
    m_stack->addWidget(m_businessPage);
    column->addWidget(m_stack, 1);
    QMetaObject::connectSlotsByName(this);
}

void VipPayDialog::on_toolButton_userpay_clicked()
{
    m_stack->setCurrentWidget(m_userPage);
    m_userTab->setChecked(true);
    m_businessTab->setChecked(false);
}

void VipPayDialog::on_toolButton_busipay_clicked()
{
    m_stack->setCurrentWidget(m_businessPage);
    m_businessTab->setChecked(true);
    m_userTab->setChecked(false);
}

void VipPayDialog::slot_notBusi()
{
    m_businessTab->hide();
    m_line->show();
}

void VipPayDialog::slot_paySuccess() { emit sig_paySuccess(parentWidget()); }

void VipPayDialog::on_pushButton_vip_desc_clicked()
{
    const std::string address = Base::websiteUrl(vippages::kRights);
    if (!address.empty())
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}
