#pragma once

#include <QDialog>

#include <string>

class QLabel;

// "支付成功": shown after a payment with the membership's new end date. `slot_show` asks the service for the
// account's product state, stores it, emits `sig_vipState` and then runs modally.
//
// The payment is real even when that request fails: the dialog still shows "开通成功" with the end date
// "—", asks once more while it is open, and emits `sig_vipState` after that second answer (with the new
// date when it came). GUI thread.
class VipPaySuccessDialog : public QDialog {
    Q_OBJECT
public:
    explicit VipPaySuccessDialog(QWidget* parent = nullptr);

    static constexpr char kUnknownEnd[] = "—";

signals:
    void sig_vipState();

public slots:
    void slot_show();
    void on_pushButton_back_clicked();

private:
    void buildForm();
    // Stores a product-state reply; false (logged) when it is a failure.
    bool storeState(int errcode, const std::string& errmsg, const std::string& result);
    void retry();

    QWidget* m_head = nullptr;
    QLabel* m_endTime = nullptr;
};
