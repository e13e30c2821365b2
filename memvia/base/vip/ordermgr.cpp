#include "base/vip/ordermgr.h"

#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"

#include <QPointer>
#include <QTimerEvent>

#include <vector>

OrderMgr::OrderMgr(QObject* parent)
    : Base(parent)
{
    m_timer.start(m_intervalMs, Qt::CoarseTimer, this);
}

OrderMgr* OrderMgr::instance()
{
    static OrderMgr* manager = new OrderMgr;
    return manager;
}

QString OrderMgr::orderKey(int64_t userId, int productId, int payWay)
{
    return QString("%1-%2-%3").arg(qint64(userId)).arg(productId).arg(payWay);
}

void OrderMgr::setPollIntervalMs(int milliseconds)
{
    m_intervalMs = milliseconds > 0 ? milliseconds : 3000;
    m_timer.start(m_intervalMs, Qt::CoarseTimer, this);
}

QString OrderMgr::createOrder(int productId, int payWay, int kind, const QString& description)
{
    // The account at request time owns the order, whoever is signed in when the reply comes.
    const int64_t userId = VipData::instance()->userId();
    const QString key = orderKey(userId, productId, payWay);
    const auto stored = m_orders.find(key);
    if (stored != m_orders.end()) {
        stored->second.countdown = kLifetimePolls;
        m_currentKey = key;
        emit sig_order(key, stored->second.qrCode);
        return key;
    }
    QPointer<OrderMgr> self(this);
    VipNet::instance()->createPcOrder(productId, payWay, description.toStdString(),
        [self, key, userId, productId, payWay, kind](int errcode, std::string errmsg, std::string result) {
            if (!self)
                return;
            if (errcode != 0) {
                BG_LOGE("vip_createOrder err: %s", errmsg.c_str());
                return;
            }
            OrderRecord order;
            order.userId = userId;
            order.payWay = payWay;
            order.productId = productId;
            order.countdown = kLifetimePolls;
            order.kind = kind;
            readOrderResult(result, order);
            self->m_orders[key] = order;
            self->m_currentKey = key;
            emit self->sig_order(key, order.qrCode);
        });
    return key;
}

void OrderMgr::readOrderResult(const std::string& result, OrderRecord& order)
{
    const Json::Value reply = parseJson(result);
    order.orderId = intMember(reply, "order_id");
    order.qrCode = QString::fromStdString(stringMember(reply, "qr_code"));
}

bool OrderMgr::isPaidResult(const std::string& result)
{
    const Json::Value reply = parseJson(result);
    return intMember(reply, "pay_status") == 1 && intMember(reply, "deal_status") > 0;
}

const OrderRecord* OrderMgr::find(const QString& key) const
{
    const auto found = m_orders.find(key);
    return found == m_orders.end() ? nullptr : &found->second;
}

void OrderMgr::clearAll()
{
    const std::map<QString, OrderRecord> orders = std::move(m_orders);
    m_orders.clear();
    for (const auto& [key, order] : orders)
        emit sig_pay(key, order.productId, false);
}

void OrderMgr::acknowledge(const QString& key) { m_unacknowledged.erase(key); }

void OrderMgr::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        poll();
    else
        Base::timerEvent(event);
}

void OrderMgr::poll()
{
    std::vector<QString> expired;
    for (auto& [key, order] : m_orders) {
        if (--order.countdown <= 0)
            expired.push_back(key);
    }
    for (const QString& key : expired) {
        const int productId = m_orders[key].productId;
        m_orders.erase(key);
        emit sig_pay(key, productId, false);
    }
    // Every live order is checked: the user may pay by a code that is no longer the one shown.
    QPointer<OrderMgr> self(this);
    for (auto& [key, order] : m_orders) {
        if (order.checking)
            continue;
        order.checking = true;
        const QString orderKey = key;
        const int orderId = order.orderId;
        VipNet::instance()->checkOrder(
            orderId, [self, orderKey, orderId](int errcode, std::string errmsg, std::string result) {
                if (self)
                    self->onCheckReply(orderKey, orderId, errcode, errmsg, result);
            });
    }
}

void OrderMgr::onCheckReply(
    const QString& key, int orderId, int errcode, const std::string& errmsg, const std::string& result)
{
    const auto found = m_orders.find(key);
    // The order was paid, expired or replaced by a newer one in the meantime.
    const bool live = found != m_orders.end() && found->second.orderId == orderId;
    if (live)
        found->second.checking = false;
    if (errcode != 0) {
        BG_LOGE("vip_checkOrder err: %s", errmsg.c_str());
        return;
    }
    if (!live)
        return;
    if (!isPaidResult(result))
        return;
    const int productId = found->second.productId;
    m_orders.erase(found);
    m_unacknowledged.insert(key);
    emit sig_pay(key, productId, true);
    // Queued after the listeners' own queued calls: a form that shows the order acknowledges it first.
    QPointer<OrderMgr> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, key, productId] {
            if (self && self->m_unacknowledged.erase(key) > 0)
                emit self->sig_paidUnseen(productId);
        },
        Qt::QueuedConnection);
}
