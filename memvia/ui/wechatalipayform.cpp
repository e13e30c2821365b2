#include "ui/wechatalipayform.h"

#include "QrEncoder/src/qr_encoder.h"
#include "base/vip/ordermgr.h"
#include "base/vip/vippaths.h"
#include "ui/skinmgr.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr char kHint[]
    = "<html><head/><body><p style=\"line-height:45%;\">%1</p><p>%2</p></body></html>";

} // namespace

WechatAliPayForm::WechatAliPayForm(int kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
{
    buildForm();
    SkinMgr::instance()->applyStyle(7, this);
    if (kind == 0 || kind == 1) {
        const QString suffix = kind == 0 ? "_user" : "_busi";
        m_wechat.price->setObjectName("label_price_wc" + suffix);
        m_alipay.price->setObjectName("label_price_ali" + suffix);
        m_wechat.symbol->setObjectName("label_symbol_wc" + suffix);
        m_alipay.symbol->setObjectName("label_symbol_ali" + suffix);
        m_wechatButton->setCheckable(true);
        m_alipayButton->setCheckable(true);
        m_wechatButton->setChecked(true);
    }
    m_stack->setCurrentWidget(m_wechat.page);
    m_wechat.stack->setCurrentWidget(m_wechat.refreshPage);
    m_alipay.stack->setCurrentWidget(m_alipay.refreshPage);
    OrderMgr* orders = OrderMgr::instance();
    connect(orders, &OrderMgr::sig_order, this, &WechatAliPayForm::slot_updateQrCode);
    connect(orders, &OrderMgr::sig_pay, this, &WechatAliPayForm::slot_payResult);
}

void WechatAliPayForm::buildForm()
{
    resize(713, 512);
    const double scale = Base::dpiScale();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);

    auto* selection = new QWidget(this);
    selection->setObjectName("widget_selection");
    auto* column = new QVBoxLayout(selection);
    column->setContentsMargins(0, 0, 0, int(10 * scale));
    m_wechatButton = new QToolButton(selection);
    m_wechatButton->setObjectName("toolButton_wechat");
    m_wechatButton->setText(tr("微信支付    "));
    m_alipayButton = new QToolButton(selection);
    m_alipayButton->setObjectName("toolButton_alipay");
    m_alipayButton->setText(tr("支付宝支付"));
    auto* agreement = new QPushButton(tr("《会员服务协议》"), selection);
    agreement->setObjectName("pushButton_vip");
    for (QWidget* widget : { static_cast<QWidget*>(m_wechatButton), static_cast<QWidget*>(m_alipayButton),
             static_cast<QWidget*>(agreement) })
        widget->setCursor(Qt::PointingHandCursor);
    column->addWidget(m_wechatButton);
    column->addWidget(m_alipayButton);
    column->addStretch();
    column->addWidget(agreement);
    row->addWidget(selection);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName("stackedWidget");
    m_wechat = buildWayPage("_wc", "label", "label_hint_2");
    m_alipay = buildWayPage("_ali", "label_2", "label_hint");
    m_wechat.page->setObjectName("page_wechat");
    m_alipay.page->setObjectName("page_alipay");
    m_stack->addWidget(m_wechat.page);
    m_stack->addWidget(m_alipay.page);
    row->addWidget(m_stack, 1);
    QMetaObject::connectSlotsByName(this);
}

WechatAliPayForm::WayPage WechatAliPayForm::buildWayPage(
    const QString& suffix, const char* expiredName, const char* hintName)
{
    const double scale = Base::dpiScale();
    WayPage way;
    way.page = new QWidget(m_stack);
    auto* row = new QHBoxLayout(way.page);
    row->setSpacing(int(15 * scale));

    way.stack = new QStackedWidget(way.page);
    way.stack->setObjectName("stackedWidget" + suffix);
    way.codePage = new QWidget(way.stack);
    way.codePage->setObjectName("page_payqrcode" + suffix);
    auto* codeLayout = new QVBoxLayout(way.codePage);
    codeLayout->setContentsMargins(0, 0, 0, 0);
    way.code = new QLabel(way.codePage);
    way.code->setObjectName("label_payqrcode" + suffix);
    way.code->setAlignment(Qt::AlignCenter);
    codeLayout->addWidget(way.code, 0, Qt::AlignCenter);
    way.refreshPage = new QWidget(way.stack);
    way.refreshPage->setObjectName("page_refresh" + suffix);
    auto* refreshLayout = new QVBoxLayout(way.refreshPage);
    auto* expired = new QLabel(tr("二维码失效"), way.refreshPage);
    expired->setObjectName(expiredName);
    expired->setAlignment(Qt::AlignCenter);
    way.refresh = new QPushButton(tr("请点击刷新"), way.refreshPage);
    way.refresh->setObjectName("pushButton_refreah" + suffix);
    way.refresh->setCursor(Qt::PointingHandCursor);
    refreshLayout->addStretch();
    refreshLayout->addWidget(expired, 0, Qt::AlignHCenter);
    refreshLayout->addWidget(way.refresh, 0, Qt::AlignHCenter);
    refreshLayout->addStretch();
    way.stack->addWidget(way.codePage);
    way.stack->addWidget(way.refreshPage);
    row->addWidget(way.stack);

    auto* priceColumn = new QVBoxLayout;
    priceColumn->setSpacing(int(10 * scale));
    auto* priceRow = new QHBoxLayout;
    way.symbol = new QLabel(QString::fromUtf8("￥"), way.page);
    way.symbol->setObjectName("label_symbol" + suffix);
    way.symbol->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    way.price = new QLabel("188", way.page);
    way.price->setObjectName("label_price" + suffix);
    way.price->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    way.unit = new QLabel(tr("/3年会员"), way.page);
    way.unit->setObjectName("label_unit" + suffix);
    way.unit->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    priceRow->addWidget(way.symbol);
    priceRow->addWidget(way.price);
    priceRow->addWidget(way.unit);
    priceRow->addStretch();
    auto* hint = new QLabel(QString(kHint).arg(tr("支付完成后如果会员状态未刷新"), tr("请重新登录账号")), way.page);
    hint->setObjectName(hintName);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    priceColumn->addStretch();
    priceColumn->addLayout(priceRow);
    priceColumn->addWidget(hint);
    priceColumn->addStretch();
    row->addLayout(priceColumn, 1);
    return way;
}

QString WechatAliPayForm::shownKey(int payWay) const
{
    return payWay == 2 ? m_alipay.shownKey : m_wechat.shownKey;
}

void WechatAliPayForm::order(int payWay)
{
    if (!m_product)
        return;
    OrderMgr::instance()->createOrder(m_product->id, payWay, m_kind, m_product->description);
}

void WechatAliPayForm::slot_createOrder(int id)
{
    const ProductItem* product
        = m_kind == 1 ? ProductData::instance()->findBusiness(id) : ProductData::instance()->findPersonal(id);
    if (!product)
        return;
    m_product = *product;
    const QString unit = QString("/%1").arg(m_product->name);
    const QString price = ProductItem::priceText(m_product->realPrice);
    for (WayPage* page : { &m_wechat, &m_alipay }) {
        page->unit->setText(unit);
        page->price->setText(price);
    }
    order(m_alipayButton->isChecked() ? 2 : 1);
}

void WechatAliPayForm::on_toolButton_wechat_clicked()
{
    m_stack->setCurrentWidget(m_wechat.page);
    order(1);
    m_wechatButton->setChecked(true);
    m_alipayButton->setChecked(false);
}

void WechatAliPayForm::on_toolButton_alipay_clicked()
{
    m_stack->setCurrentWidget(m_alipay.page);
    order(2);
    m_alipayButton->setChecked(true);
    m_wechatButton->setChecked(false);
}

void WechatAliPayForm::on_pushButton_refreah_wc_clicked() { order(1); }

void WechatAliPayForm::on_pushButton_refreah_ali_clicked() { order(2); }

void WechatAliPayForm::on_pushButton_vip_clicked()
{
    const std::string address = Base::websiteUrl(vippages::kServiceAgreement);
    if (!address.empty())
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void WechatAliPayForm::slot_updateQrCode(QString key, QString qrcode)
{
    const OrderRecord* record = OrderMgr::instance()->find(key);
    if (!m_product || !record || record->productId != m_product->id || record->kind != m_kind)
        return;
    zov::QREncodeOptions options;
    const QImage image = zov::QREncoder().encode(qrcode.toUtf8().constData(), options);
    if (image.isNull())
        return;
    const int side = int(87 * Base::dpiScale());
    const QPixmap pixmap
        = QPixmap::fromImage(image).scaled(side, side, Qt::KeepAspectRatio, Qt::FastTransformation);
    if (pixmap.isNull())
        return;
    WayPage& page = way(record->payWay);
    page.code->setPixmap(pixmap);
    page.stack->setCurrentWidget(page.codePage);
    page.shownKey = key;
    m_shownKeys.insert(key);
}

void WechatAliPayForm::slot_payResult(QString key, int, bool okay)
{
    if (!m_shownKeys.contains(key))
        return;
    m_shownKeys.remove(key);
    if (okay) {
        OrderMgr::instance()->acknowledge(key);
        emit sig_paySuccess(true);
        return;
    }
    // Only the page whose code expired offers the refresh.
    for (WayPage* page : { &m_wechat, &m_alipay }) {
        if (page->shownKey == key) {
            page->stack->setCurrentWidget(page->refreshPage);
            page->shownKey.clear();
        }
    }
}

void WechatAliPayForm::closeEvent(QCloseEvent* event)
{
    OrderMgr::instance()->clearAll();
    QWidget::closeEvent(event);
}
