#pragma once

#include <QDialog>
#include <QString>

#include <json/value.h>

#include <cstdint>
#include <memory>

namespace bg {
class Value;
}
namespace Ui {
class LoginDialog;
}

namespace zov {

// Lenient JSON member readers: a missing member, or one of another type, reads as 0 or "".
class BaseData {
public:
    static int64_t getInt64(const Json::Value& object, const char* name);
    static int getInt(const Json::Value& object, const char* name);
    static QString getString(const Json::Value& object, const char* name);
};

} // namespace zov

// Signs a user in through the membership plug-in: account and password (command 301), a WeChat QR code
// (303, then 302 with the scanned code) or, two seconds after construction, the saved credentials. Every
// "vipstate_sig" of the plug-in, for as long as the dialog lives, rewrites the user's application-info
// properties and run-time data keys, saves the credentials and emits sig_RefreshVIP.
//
// The main window creates one without parent and keeps it. GUI thread only. Failures show on the error
// line; the stored digest is kept only while automatic sign-in is on, in a configuration file of mode 0600.
class LoginDialog : public QDialog, public zov::BaseData {
    Q_OBJECT
public:
    // QR sign-in states: the plug-in's scan states, -1 while a code is fetched, 0 once it is shown.
    enum QrLoginState {
        None = -1,
        Waiting = 0,
        Cancelled = 1,
        Confirmed = 2,
        NotScanned = 3,
        Expired = 4,
        Failed = 5
    };

    explicit LoginDialog(QWidget* parent = nullptr);
    ~LoginDialog() override;

    int qrState() const { return m_qrState; }

    // The delay of the automatic sign-in after construction (2 s), for tests.
    static void setAutoLoginDelayMs(int milliseconds);

signals:
    void sig_RefreshVIP();

private slots:
    void on_toolButton_to_qrcode_login_page_clicked();
    void on_toolButton_to_pwd_login_page_clicked();
    void on_pushButton_login_close_clicked();
    void on_pushButton_login_clicked();
    void AutoLogin();
    void on_label_account_unlock_linkActivated(const QString& link);
    void on_lb_register_linkActivated(const QString& link);
    void on_lb_findpwd_linkActivated(const QString& link);
    void on_checkBox_autologin_clicked();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Closing (the close button, a successful sign-in, Escape) ends the QR attempt.
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void initUi();
    void initLinks();
    void login(const QString& account, const QString& password);
    void checkError(const QString& kind, const bg::Value& reply);
    void onLoginReply(const bg::Value& userInfo);
    void loadCredentials();
    void onQRCodeState(int state);
    void onQRCodeCallback(const bg::Value& message);
    void showError(const QString& text);
    // Ends the QR attempt under way: whatever it still reports is ignored, and the next QR page starts anew.
    void endQrAttempt();
    // False (with the error shown) when the plug-in is not there to take the command.
    bool sendToPlugin(
        int command, const bg::Value& message, const std::function<void(const bg::Value&)>& reply);

    std::unique_ptr<Ui::LoginDialog> ui;
    int m_vipStateListenerId = -1;
    QString m_account;
    QString m_password;
    bool m_autoLogin = false;
    int m_qrState = None;
    bool m_qrSignIn = false; // the pending sign-in came from a QR code: no digest to keep
    quint64 m_qrAttempt = 0; // the QR attempt whose messages count; each start and each end moves it on
};
