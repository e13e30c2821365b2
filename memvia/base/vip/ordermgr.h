#pragma once

#include "base/base.h"

#include <QBasicTimer>
#include <QString>

#include <map>
#include <set>

// One order at the membership service.
struct OrderRecord {
    int64_t userId = 0;
    int payWay = 0; // 1 WeChat, 2 Alipay
    int productId = 0;
    int orderId = -1;
    int countdown = 0; // polls left before the QR code expires
    int kind = 0; // 0 personal, 1 business
    QString qrCode;
    bool checking = false; // a check is on its way; a slow service gets one at a time
};

// The live orders, their QR texts and the poll that finds them paid. An order is created at the service
// (or a live one of the same user, product and pay way is reused), then every live order is checked every
// poll interval until it is paid or its QR code expires after 40 polls.
//
// `sig_order` hands out an order's QR text; `sig_pay` tells that an order was paid (true) or expired or
// abandoned (false), by its key. A paid order that no listener acknowledges (no open payment form shows it)
// is announced once more by `sig_paidUnseen`, so a payment made after the purchase dialog closed still
// reaches the module. Whether it was acknowledged is decided after the listeners of `sig_pay` on this thread
// have run, however they are connected (directly or queued).
//
// One process-wide instance, created on first use and never destroyed. GUI thread only.
class OrderMgr : public Base {
    Q_OBJECT
public:
    static OrderMgr* instance();

    // "<user id>-<product id>-<pay way>".
    static QString orderKey(int64_t userId, int productId, int payWay);

    QString createOrder(int productId, int payWay, int kind, const QString& description);
    // The service's results: an order's "order_id" (-1 when missing) and "qr_code"; whether a check result
    // says paid ("pay_status" 1 and "deal_status" above 0).
    static void readOrderResult(const std::string& result, OrderRecord& order);
    static bool isPaidResult(const std::string& result);
    const OrderRecord* find(const QString& key) const;
    QString currentKey() const { return m_currentKey; }
    // Abandons every order (each gets `sig_pay` false).
    void clearAll();
    // Called by a listener of `sig_pay` that reported the payment of `key` itself.
    void acknowledge(const QString& key);

    void poll();

    // Test seam: the poll interval (3000 ms); restarts the timer.
    void setPollIntervalMs(int milliseconds);
    static constexpr int kLifetimePolls = 40;

signals:
    void sig_order(QString key, QString qrCode);
    void sig_pay(QString key, int productId, bool okay);
    void sig_paidUnseen(int productId);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    explicit OrderMgr(QObject* parent = nullptr);
    void onCheckReply(
        const QString& key, int orderId, int errcode, const std::string& errmsg, const std::string& result);

    std::map<QString, OrderRecord> m_orders;
    QString m_currentKey;
    std::set<QString> m_unacknowledged; // paid, `sig_pay` sent, not yet acknowledged
    QBasicTimer m_timer;
    int m_intervalMs = 3000;
};
