#pragma once

#include <bridge/valuemap.h>

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;
class QToolButton;
class UserHeaderForm;

// "账号信息": the signed-in account with its avatar, level and end date, and the buttons to refresh the
// membership state, buy or renew, find the password, open the user centre and log out. Made once by the
// module and kept; every show refreshes it from the account data.
//
// Refreshes are debounced process-wide: only the very first click asks the service at once, every later
// burst of clicks asks once, 2 s after its last click. A failed refresh keeps what is shown (logged).
// GUI thread.
class UserInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit UserInfoDialog(QWidget* parent = nullptr);

    // The options of the account command: "show_findpwd", "show_usercenter", "show_vippay" (each true
    // when absent) and "type_name".
    void setOptions(const bg::ValueMap& options);
    void updateInfo();

    // Test seam: the debounce delay (2000 ms).
    static void setRefreshDelayMs(int milliseconds);

signals:
    void sig_sendState();
    void sig_needPay(QWidget* parent);
    void sig_loginOut();

private slots:
    void on_toolButton_refresh_clicked();
    void on_pushButton_pay_clicked();
    void on_toolButton_changepwd_clicked();
    void on_toolButton_usercenter_clicked();
    void on_toolButton_loginout_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildForm();
    void requestProductState();
    void applyRenewalWindow();

    UserHeaderForm* m_header = nullptr;
    QLabel* m_userName = nullptr;
    QLabel* m_userId = nullptr;
    QLabel* m_vipName = nullptr;
    QLabel* m_endTime = nullptr;
    QToolButton* m_refresh = nullptr;
    QPushButton* m_pay = nullptr;
    QToolButton* m_changePassword = nullptr;
    QLabel* m_findPasswordLine = nullptr;
    QToolButton* m_userCenter = nullptr;
    QLabel* m_userCenterLine = nullptr;
    QToolButton* m_logout = nullptr;
    std::string m_typeName;
    bool m_showPay = true;
};
