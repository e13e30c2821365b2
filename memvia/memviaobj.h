#pragma once

#include <bridge/interface.h>
#include <bridge/value.h>

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

// The module's Qt side: the first version-check reply, the emission of "vipstate_sig" and the countdown
// that ends the application when the service no longer serves this version. Lives inside the module object;
// GUI thread, except the countdown, which runs on Qt's global thread pool and reaches the GUI thread only
// through a queued exit request.
class UserInfoDialog;
class VipPayDialog;

class MemviaObj : public QObject {
    Q_OBJECT
public:
    MemviaObj();

    // Answers with the stored reply, else asks the service (each call before the first reply asks again).
    void versionCheck(const bg::MsgCallback& callback);
    const bg::Value& versionReply() const { return m_versionReply; }

    // Seams for tests: the countdown's step (1 s) and what ends the application (QCoreApplication::exit,
    // requested on the application object's thread).
    static void setCountdownStepMs(int milliseconds);
    static void setExitFunction(std::function<void(int)> exitFunction);

    // The account dialog (made on first use, kept) re-parented to `parent` and shown.
    UserInfoDialog* showUserInfoDialog(QWidget* parent, const bg::ValueMap* options);
    // The open purchase dialog, or a new one over `parent`.
    VipPayDialog* showPayDialog(QWidget* parent);
    UserInfoDialog* userInfoDialog() const { return m_userInfoDialog; }
    VipPayDialog* payDialog() const;

    // Codes from -10099 to -10000 mark a version the service no longer serves.
    static bool endsApplication(int errcode) { return errcode >= -10099 && errcode <= -10000; }

public slots:
    // Runs the purchase dialog modally.
    void slot_needPay(QWidget* parent);
    // Shows the payment success dialog over `parent`.
    void slot_paySuccess(QWidget* parent);
    // Emits "vipstate_sig" with the user-information JSON through the module's signal hub.
    void slot_sendSig();
    void slot_closePayDialog();

private:
    void onVersionCheckReply(
        int errcode, const std::string& errmsg, const std::string& result, const bg::MsgCallback& callback);
    static void versionCheckExitCountdown(int errcode, std::string errmsg);

    // A payment no open form reported (the purchase dialog was closed before it was confirmed).
    void onPaidUnseen();

    bg::Value m_versionReply;
    UserInfoDialog* m_userInfoDialog = nullptr; // kept for the life of the plug-in
    QPointer<VipPayDialog> m_payDialog;
    QPointer<QWidget> m_payParent; // the window the last purchase was asked from
    bool m_ordersWatched = false;
};
