#include "ui/userpayform.h"

#include "base/memvialog.h"
#include "base/vip/productdata.h"
#include "base/vip/vipnet.h"
#include "ui/vippaybuttonsform.h"
#include "ui/wechatalipayform.h"

#include <QGridLayout>
#include <QPointer>
#include <QVBoxLayout>

UserPayForm::UserPayForm(int kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
{
    resize(448, 271);
    auto* grid = new QGridLayout(this);
    auto* itemArea = new QWidget(this);
    itemArea->setObjectName("widget_vipitem");
    auto* payArea = new QWidget(this);
    payArea->setObjectName("widget_wechatalipay");
    grid->addWidget(itemArea, 0, 0);
    grid->addWidget(payArea, 1, 0);

    m_buttons = new VipPayButtonsForm(0, itemArea);
    auto* itemLayout = new QVBoxLayout(itemArea);
    itemLayout->setContentsMargins(0, 0, 0, 0);
    itemLayout->addWidget(m_buttons);
    m_pay = new WechatAliPayForm(kind, payArea);
    auto* payLayout = new QVBoxLayout(payArea);
    payLayout->setContentsMargins(0, 0, 0, 0);
    payLayout->addWidget(m_pay);

    connect(m_pay, &WechatAliPayForm::sig_paySuccess, this, &UserPayForm::sig_paySuccess);
    connect(m_buttons, &VipPayButtonsForm::sig_createOrder, m_pay, &WechatAliPayForm::slot_createOrder);

    QPointer<UserPayForm> self(this);
    VipNet::instance()->getProductList(kind, [self](int errcode, std::string errmsg, std::string result) {
        if (self)
            self->onProductList(errcode, errmsg, result);
    });

    const double scale = Base::dpiScale();
    grid->setContentsMargins(int(27 * scale), 0, int(33 * scale), int(28 * scale));
    grid->setSpacing(0);
}

void UserPayForm::onProductList(int errcode, const std::string& errmsg, const std::string& result)
{
    if (errcode != 0) {
        BG_LOGE("vip_queryProduct err: %s", errmsg.c_str());
        return;
    }
    const Json::Value parsed = Base::parseJson(result);
    if (m_kind == 1) {
        ProductData::instance()->parseBusiness(parsed);
        if (ProductData::instance()->business().empty())
            emit sig_noProduct();
    } else {
        ProductData::instance()->parsePersonal(parsed);
    }
    m_buttons->buildButtons(m_kind);
    if (isVisible())
        m_buttons->selectFirst();
}

void UserPayForm::showEvent(QShowEvent* event)
{
    m_buttons->selectFirst();
    QWidget::showEvent(event);
}
