#pragma once

#include <QWidget>

class VipPayButtonsForm;
class WechatAliPayForm;

// A purchase page (kind 0 personal, 1 business): the product cards over the payment area. Asks the service
// for its product list once, at construction; a failed list leaves the page without cards (logged), and an
// empty business list is announced with `sig_noProduct`. Showing the page selects its first card. GUI
// thread.
class UserPayForm : public QWidget {
    Q_OBJECT
public:
    explicit UserPayForm(int kind, QWidget* parent = nullptr);

    VipPayButtonsForm* buttonsForm() const { return m_buttons; }
    WechatAliPayForm* payForm() const { return m_pay; }

signals:
    void sig_paySuccess(bool suc);
    void sig_noProduct();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onProductList(int errcode, const std::string& errmsg, const std::string& result);

    int m_kind;
    VipPayButtonsForm* m_buttons = nullptr;
    WechatAliPayForm* m_pay = nullptr;
};
