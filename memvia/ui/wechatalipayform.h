#pragma once

#include "base/vip/productdata.h"

#include <QSet>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

// The payment area of a purchase page: WeChat or Alipay, the chosen product's price and the order's QR
// code, or "二维码失效" with a refresh link once the code expired.
//
// Every form listens to the one OrderMgr. A form reports the payment of any order it has shown (whatever
// pay way or product the user switched to since) and acknowledges it, so the module does not report it a
// second time. It keeps its own copy of the chosen product. GUI thread.
class WechatAliPayForm : public QWidget {
    Q_OBJECT
public:
    explicit WechatAliPayForm(int kind, QWidget* parent = nullptr);

    const std::optional<ProductItem>& currentProduct() const { return m_product; }
    // The key of the order whose code a pay way's page shows (1 WeChat, 2 Alipay); empty when none.
    QString shownKey(int payWay) const;

signals:
    void sig_paySuccess(bool suc);

public slots:
    void on_toolButton_wechat_clicked();
    void on_toolButton_alipay_clicked();
    void slot_createOrder(int id);
    void slot_updateQrCode(QString key, QString qrcode);
    void slot_payResult(QString key, int product_id, bool okay);
    void on_pushButton_refreah_wc_clicked();
    void on_pushButton_refreah_ali_clicked();
    void on_pushButton_vip_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct WayPage {
        QWidget* page = nullptr;
        QStackedWidget* stack = nullptr;
        QWidget* codePage = nullptr;
        QWidget* refreshPage = nullptr;
        QLabel* code = nullptr;
        QLabel* symbol = nullptr;
        QLabel* price = nullptr;
        QLabel* unit = nullptr;
        QPushButton* refresh = nullptr;
        QString shownKey;
    };

    void buildForm();
    WayPage buildWayPage(const QString& suffix, const char* expiredName, const char* hintName);
    void order(int payWay);
    WayPage& way(int payWay) { return payWay == 2 ? m_alipay : m_wechat; }

    int m_kind;
    std::optional<ProductItem> m_product;
    QSet<QString> m_shownKeys; // every order whose code this form showed
    QToolButton* m_wechatButton = nullptr;
    QToolButton* m_alipayButton = nullptr;
    QStackedWidget* m_stack = nullptr;
    WayPage m_wechat;
    WayPage m_alipay;
};
