#include "memviaobj.h"

#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"
#include "base/vip/ordermgr.h"
#include "memviacommand.h"
#include "ui/userinfodialog.h"
#include "ui/vippaydialog.h"
#include "ui/vippaysuccessdialog.h"

// Qt's "emit" keyword would swallow the hub's emit operation.
#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")
#include <bridge/valuemap.h>

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

constexpr int kCountdownSeconds = 10;

std::atomic<int> countdownStepMs { 1000 };

std::mutex exitMutex;
std::function<void(int)>& exitFunction()
{
    static auto* function = new std::function<void(int)>([](int code) { QCoreApplication::exit(code); });
    return *function;
}

} // namespace

MemviaObj::MemviaObj() = default;

void MemviaObj::setCountdownStepMs(int milliseconds) { countdownStepMs = milliseconds; }

void MemviaObj::setExitFunction(std::function<void(int)> function)
{
    std::lock_guard<std::mutex> lock(exitMutex);
    exitFunction() = function ? std::move(function) : [](int code) { QCoreApplication::exit(code); };
}

void MemviaObj::slot_sendSig()
{
    bg::Interface* component = memvia::module();
    if (!component || !component->signal)
        return;
    component->signal->emit_value(kVipStateSignal, bg::Value(VipData::instance()->userInfoJson()));
}

UserInfoDialog* MemviaObj::showUserInfoDialog(QWidget* parent, const bg::ValueMap* options)
{
    if (!m_userInfoDialog) {
        m_userInfoDialog = new UserInfoDialog(parent);
        connect(m_userInfoDialog, &UserInfoDialog::sig_needPay, this, &MemviaObj::slot_needPay);
        connect(m_userInfoDialog, &UserInfoDialog::sig_sendState, this, &MemviaObj::slot_sendSig);
        connect(m_userInfoDialog, &UserInfoDialog::sig_loginOut, this, &MemviaObj::slot_closePayDialog);
    }
    if (m_userInfoDialog->parentWidget() != parent)
        m_userInfoDialog->setParent(parent, m_userInfoDialog->windowFlags());
    if (options)
        m_userInfoDialog->setOptions(*options);
    m_userInfoDialog->show();
    return m_userInfoDialog;
}

VipPayDialog* MemviaObj::showPayDialog(QWidget* parent)
{
    if (m_payDialog)
        return m_payDialog;
    if (!m_ordersWatched) {
        m_ordersWatched = true;
        connect(OrderMgr::instance(), &OrderMgr::sig_paidUnseen, this, &MemviaObj::onPaidUnseen);
    }
    m_payParent = parent;
    VipPayDialog* dialog = new VipPayDialog(parent);
    m_payDialog = dialog;
    connect(dialog, &VipPayDialog::sig_paySuccess, this, &MemviaObj::slot_paySuccess);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        dialog->deleteLater();
        if (m_payDialog == dialog)
            m_payDialog = nullptr;
    });
    return dialog;
}

VipPayDialog* MemviaObj::payDialog() const { return m_payDialog; }

void MemviaObj::slot_needPay(QWidget* parent) { showPayDialog(parent)->exec(); }

void MemviaObj::slot_paySuccess(QWidget* parent)
{
    auto* dialog = new VipPaySuccessDialog(parent);
    connect(dialog, &VipPaySuccessDialog::sig_vipState, this, &MemviaObj::slot_sendSig);
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    dialog->slot_show();
}

void MemviaObj::onPaidUnseen() { slot_paySuccess(m_payParent); }

void MemviaObj::slot_closePayDialog()
{
    if (m_payDialog)
        m_payDialog->close();
}

void MemviaObj::versionCheck(const bg::MsgCallback& callback)
{
    if (m_versionReply.isValid()) {
        if (callback)
            callback(m_versionReply);
        return;
    }
    VipNet::instance()->versionCheck([this, callback](int errcode, std::string errmsg, std::string result) {
        onVersionCheckReply(errcode, errmsg, result, callback);
    });
}

void MemviaObj::onVersionCheckReply(
    int errcode, const std::string& errmsg, const std::string& result, const bg::MsgCallback& callback)
{
    bg::ValueMap reply;
    reply[memviareply::kCode] = bg::Value(errcode);
    reply[memviareply::kMessage] = bg::Value(errmsg);
    reply[memviareply::kResult] = bg::Value(result);
    m_versionReply = bg::Value(reply);
    if (callback)
        callback(m_versionReply);
    if (endsApplication(errcode))
        QtConcurrent::run(
            QThreadPool::globalInstance(), &MemviaObj::versionCheckExitCountdown, errcode, errmsg);
}

void MemviaObj::versionCheckExitCountdown(int errcode, std::string errmsg)
{
    for (int n = kCountdownSeconds; n >= 1; --n) {
        BG_LOGE("vip_versionChecking errcode=%d, errmsg=%s  %d 秒后退出程序!", errcode, errmsg.c_str(), n);
        std::this_thread::sleep_for(std::chrono::milliseconds(countdownStepMs.load()));
    }
    // Only the GUI thread may end its event loop.
    QObject* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [] {
            std::function<void(int)> function;
            {
                std::lock_guard<std::mutex> lock(exitMutex);
                function = exitFunction();
            }
            function(0);
        },
        Qt::QueuedConnection);
}
