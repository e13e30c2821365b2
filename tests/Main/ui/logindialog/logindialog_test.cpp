// The login dialog against a scripted membership module: what it sends, and what it does with the
// plug-in's answers and "vipstate_sig".
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/qrcodewidget.h"

#include "global/accountkeys.h"
#include "global/appkeys.h"
#include "global/datakeys.h"
#include "global/loginkeys.h"
#include "win/qssmanager.h"

#include "Main/shell_env.h"
#include "bridge/loader/module_fixture.h"
#include "login_recorder.h"

#include <bridge/abstract_config.h>
#include <bridge/app.h>
#include <bridge/dataauth.h>
#include <bridge/valuemap.h>

#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <json/writer.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <mutex>

namespace {

const char kRecorderModule[] = "libtest_memvia_login_recorder.so";
const char kHost[] = "https://members.example.com:8443/goapi";
// MD5 of "demo1234".
const char kDigest[] = "6e9bece1914809fb8493146417e722f6";

LoginRecorder& recorder()
{
    static LoginRecorder* state = [] {
        void* handle = dlopen((bin_dir() + kRecorderModule).c_str(), RTLD_NOW | RTLD_NOLOAD);
        auto function
            = handle ? reinterpret_cast<LoginRecorder* (*)()>(dlsym(handle, "login_recorder")) : nullptr;
        return function ? function() : nullptr;
    }();
    return *state;
}

template <typename T = QWidget> T* child(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

std::string config(const char* key)
{
    bool found = false;
    const std::string value = CD->config->get(key, &found);
    return found ? value : "<missing>";
}

bg::Value replyMap(int errcode, const std::string& errmsg)
{
    bg::ValueMap map;
    map["errcode"] = bg::Value(errcode);
    map["errmsg"] = bg::Value(errmsg);
    map["result"] = bg::Value("");
    return bg::Value(map);
}

std::string userInfo(long long id, int level = 2)
{
    Json::Value info(Json::objectValue);
    info["user_id"] = Json::Int64(id);
    info["vip_level"] = level;
    info["busi_type"] = 1;
    info["name"] = "演示用户";
    info["avatar"] = "https://example.com/a.png";
    info["token"] = "tok-1";
    info["end_time"] = "2030-01-01";
    info["vip_name"] = "会员用户";
    info["meeting_host"] = "https://meet.example.com";
    return info.toStyledString();
}

// What the plug-in does on a successful sign-in: the signal first, then the command's callback.
void answerLogin(const RecordedCommand& command, long long id)
{
    CD->signal->emit_value(kSignalVipState, bg::Value(userInfo(id)));
    command.callback(replyMap(0, ""));
}

class LoginDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        QssManager::setDpiScaleOverride(1.0);
        LoginDialog::setAutoLoginDelayMs(60 * 60 * 1000); // tests that want it run it themselves
        CD->app->set_property("host", bg::Value(kHost), false);
        for (const char* key : { kCfgKeyAuto, kCfgAccount, kCfgPassword })
            CD->config->remove(key);
        CD->data->set_data(kDataUserId, bg::Value(0LL));
        recorder().commands.clear();
    }
    void TearDown() override
    {
        LoginDialog::setAutoLoginDelayMs(2000);
        QssManager::setDpiScaleOverride(0.0);
    }

    // Types an account and a password and presses the login button.
    static void typeAndLogin(LoginDialog& dialog, const QString& account, const QString& password)
    {
        child<QLineEdit>(dialog, "lineEdit_user_name")->setText(account);
        child<QLineEdit>(dialog, "lineEdit_pwd")->setText(password);
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_login"), Qt::LeftButton);
    }

    static void showQrPage(LoginDialog& dialog)
    {
        QTest::mouseClick(child<QToolButton>(dialog, "toolButton_to_qrcode_login_page"), Qt::LeftButton);
    }

    // The latest QR attempt's callback.
    static const RecordedCommand& lastQrAttempt()
    {
        const auto attempts = recorder().withId(kCmdWebQrLogin);
        EXPECT_FALSE(attempts.empty());
        return *attempts.back();
    }

    static bg::Value scan(int state, const std::string& wxcode = "")
    {
        bg::ValueMap map;
        map["type"] = bg::Value("scan");
        map["state"] = bg::Value(state);
        map["wxcode"] = bg::Value(wxcode);
        return bg::Value(map);
    }
};

TEST_F(LoginDialogTest, ConstructionFramesTheDialogAndWaitsIdle)
{
    LoginDialog dialog;
    const auto frames = recorder().withId(100);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->message.toVoid(), static_cast<void*>(&dialog));
    EXPECT_FALSE(frames[0]->callback);
    EXPECT_EQ(dialog.property("header_visible").toBool(), false);
    EXPECT_EQ(dialog.property("header_height").toInt(), 45);
    EXPECT_EQ(dialog.size(), QSize(340, 380));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("账号登录"));
    EXPECT_EQ(
        child<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName(), "page_password_login");
    EXPECT_FALSE(dialog.styleSheet().isEmpty()) << "the login sheet is in the resources";
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_pwd")->echoMode(), QLineEdit::Password);
    // The website is the origin of the membership API.
    EXPECT_TRUE(child<QLabel>(dialog, "lb_register")
                    ->text()
                    .contains("https://members.example.com:8443/newRegister"));
    EXPECT_TRUE(
        child<QLabel>(dialog, "lb_findpwd")->text().contains("https://members.example.com:8443/forgetName"));
    EXPECT_EQ(recorder().commands.size(), 1u);
}

TEST_F(LoginDialogTest, PasswordSignInStoresTheUserAndTheCredentials)
{
    for (bool automatic : { true, false }) {
        SCOPED_TRACE(automatic);
        recorder().commands.clear();
        LoginDialog dialog;
        dialog.show();
        QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
        child<QCheckBox>(dialog, "checkBox_autologin")->setChecked(automatic);
        typeAndLogin(dialog, QStringLiteral("demo"), QStringLiteral("demo1234"));

        const auto logins = recorder().withId(kCmdLoginByAccount);
        ASSERT_EQ(logins.size(), 1u);
        const bg::ValueMap sent = logins[0]->message.toMap();
        EXPECT_EQ(sent.get_data("account", bg::Value("")).toStdString(), "demo");
        EXPECT_EQ(sent.get_data("password", bg::Value("")).toStdString(), kDigest);
        auto* button = child<QPushButton>(dialog, "pushButton_login");
        EXPECT_FALSE(button->isEnabled());

        const long long id = 5000000000123LL; // beyond 32 bits
        answerLogin(*logins[0], id);
        EXPECT_EQ(refreshed.count(), 1);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(CD->app->get_property("user_id", bg::Value(), false).toInt64(), id);
        EXPECT_EQ(CD->app->get_property("vip_level", bg::Value(), false).toInt(), 2);
        EXPECT_EQ(CD->app->get_property("token", bg::Value(), false).toStdString(), "tok-1");
        EXPECT_EQ(CD->data->get_data(kDataUserId, bg::Value()).toInt64(), id);
        EXPECT_EQ(CD->data->get_data(kDataUserLevel, bg::Value()).toInt(), 2);
        EXPECT_EQ(CD->data->get_data(kDataUserBusiType, bg::Value()).toInt(), 1);
        EXPECT_EQ(CD->data->get_data(kDataUserToken, bg::Value()).toStdString(), "tok-1");
        EXPECT_EQ(CD->data->get_data(kDataUserName, bg::Value()).toStdString(), "演示用户");
        EXPECT_EQ(
            CD->data->get_data(kDataUserMeetingHost, bg::Value()).toStdString(), "https://meet.example.com");
        EXPECT_EQ(config(kCfgKeyAuto), automatic ? "1" : "0");
        EXPECT_EQ(config(kCfgAccount), "demo");
        EXPECT_EQ(config(kCfgPassword), automatic ? kDigest : "");
        struct stat info = {};
        ASSERT_EQ(::stat(CD->config->path(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);

        EXPECT_FALSE(button->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([button] { return button->isEnabled(); }, 3000));
    }
}

TEST_F(LoginDialogTest, FailuresShowTheServersTextAsPlainText)
{
    LoginDialog dialog;
    dialog.show();
    auto* error = child<QLabel>(dialog, "label_errmsg");
    auto* unlock = child<QLabel>(dialog, "label_account_unlock");
    const std::string longText = "<b>账号或密码错误</b>" + std::string(300, 'x');
    const struct {
        const char* what;
        int errcode;
        std::string errmsg;
        bool unlockShown;
    } cases[] = {
        { "wrong password", 1001, longText, false },
        { "bound elsewhere", -10, "该账号已在其他设备绑定", true },
        { "no message", 1002, "", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorder().commands.clear();
        typeAndLogin(dialog, QStringLiteral("demo"), QStringLiteral("x"));
        ASSERT_EQ(recorder().withId(kCmdLoginByAccount).size(), 1u);
        recorder().withId(kCmdLoginByAccount)[0]->callback(replyMap(c.errcode, c.errmsg));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(error->textFormat(), Qt::PlainText);
        EXPECT_EQ(error->text(), QString::fromStdString(c.errmsg).left(200));
        EXPECT_EQ(error->isVisible(), !c.errmsg.empty());
        EXPECT_EQ(unlock->isVisible(), c.unlockShown);
        auto* button = child<QPushButton>(dialog, "pushButton_login");
        EXPECT_TRUE(QTest::qWaitFor([button] { return button->isEnabled(); }, 3000));
    }
    EXPECT_TRUE(unlock->text().contains("https://members.example.com:8443/help/unbindDevice"));
    // The next QR attempt hides the unbind link again.
    recorder().commands.back().callback(replyMap(-10, "bound"));
    ASSERT_TRUE(unlock->isVisible());
    showQrPage(dialog);
    EXPECT_FALSE(unlock->isVisible());
}

TEST_F(LoginDialogTest, EmptyFieldsAndEnterOnTheQrPageSendNothing)
{
    LoginDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    child<QLineEdit>(dialog, "lineEdit_user_name")->setText("demo");
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(recorder().withId(kCmdLoginByAccount).empty()) << "no password";
    child<QLineEdit>(dialog, "lineEdit_pwd")->setText("demo1234");
    QTest::keyClick(&dialog, Qt::Key_Enter);
    EXPECT_EQ(recorder().withId(kCmdLoginByAccount).size(), 1u);
    recorder().commands.clear();
    showQrPage(dialog);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(recorder().withId(kCmdLoginByAccount).empty()) << "the QR page is showing";
}

TEST_F(LoginDialogTest, AutomaticSignInUsesTheStoredDigest)
{
    const struct {
        const char* what;
        const char* keyauto; // null: missing
        const char* account;
        const char* password;
        bool sent;
    } cases[] = {
        { "on with both", "1", "demo", kDigest, true },
        { "on without a password", "1", "demo", "", false },
        { "off", "0", "demo", kDigest, false },
        { "first start", nullptr, nullptr, nullptr, false },
    };
    LoginDialog::setAutoLoginDelayMs(2000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorder().commands.clear();
        for (const char* key : { kCfgKeyAuto, kCfgAccount, kCfgPassword })
            CD->config->remove(key);
        if (c.keyauto) {
            CD->config->set(kCfgKeyAuto, c.keyauto);
            CD->config->set(kCfgAccount, c.account);
            CD->config->set(kCfgPassword, c.password);
        }
        LoginDialog dialog; // never shown
        QTest::qWait(1500);
        EXPECT_TRUE(recorder().withId(kCmdLoginByAccount).empty()) << "not before two seconds";
        QTest::qWait(900);
        const auto logins = recorder().withId(kCmdLoginByAccount);
        ASSERT_EQ(logins.size(), c.sent ? 1u : 0u);
        auto* box = child<QCheckBox>(dialog, "checkBox_autologin");
        EXPECT_EQ(box->isChecked(), c.sent);
        if (c.sent) {
            EXPECT_EQ(logins[0]->message.toMap().get_data("password", bg::Value("")).toStdString(), kDigest);
            EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_user_name")->text(), "demo");
            EXPECT_TRUE(child<QLineEdit>(dialog, "lineEdit_pwd")->text().isEmpty());
        }
        if (!c.keyauto) {
            EXPECT_EQ(config(kCfgKeyAuto), "0");
            EXPECT_EQ(config(kCfgAccount), "");
            EXPECT_EQ(config(kCfgPassword), "");
        }
    }
}

TEST_F(LoginDialogTest, QrStatesDriveTheLabelAndTheWidget)
{
    LoginDialog dialog;
    dialog.show();
    showQrPage(dialog);
    auto* label = child<QLabel>(dialog, "label_qrcode_state");
    auto* widget = child<QRCodeWidget>(dialog, "widget_qrcode");
    EXPECT_EQ(dialog.qrState(), -1);
    EXPECT_FALSE(label->isVisible());
    EXPECT_EQ(widget->mode(), QRCodeWidget::Loading);
    const struct {
        int state;
        const char* text;
        int mode;
    } cases[] = {
        { 3, "未扫码", QRCodeWidget::Loading },
        { 0, "请扫码", QRCodeWidget::Loading },
        { 1, "扫码取消", QRCodeWidget::RefreshPrompt },
        { 4, "二维码超时", QRCodeWidget::RefreshPrompt },
        { 5, "扫码错误", QRCodeWidget::RefreshPrompt },
        { 9, "", QRCodeWidget::RefreshPrompt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        lastQrAttempt().callback(scan(c.state));
        EXPECT_EQ(dialog.qrState(), c.state);
        EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(widget->mode(), c.mode);
    }
    // A failed "net" step shows its message and keeps the loading look.
    showQrPage(dialog);
    bg::ValueMap net;
    net["type"] = bg::Value("net");
    net["errcode"] = bg::Value(-7);
    net["errmsg"] = bg::Value("无法连接服务器");
    lastQrAttempt().callback(bg::Value(net));
    EXPECT_EQ(child<QLabel>(dialog, "label_errmsg")->text(), QStringLiteral("无法连接服务器"));
    EXPECT_EQ(widget->mode(), QRCodeWidget::Loading);
}

TEST_F(LoginDialogTest, ShowingAgainRestartsOnlyAnEndedAttempt)
{
    const struct {
        int state;
        bool restarts;
    } cases[] = { { 4, true }, { 1, true }, { 5, true }, { 0, false }, { 3, false } };
    LoginDialog dialog;
    dialog.show();
    showQrPage(dialog);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        lastQrAttempt().callback(scan(c.state));
        const size_t before = recorder().withId(kCmdWebQrLogin).size();
        dialog.hide();
        dialog.show();
        EXPECT_EQ(recorder().withId(kCmdWebQrLogin).size(), before + (c.restarts ? 1 : 0));
    }
    // The password page never starts one.
    QTest::mouseClick(child<QToolButton>(dialog, "toolButton_to_pwd_login_page"), Qt::LeftButton);
    const size_t before = recorder().withId(kCmdWebQrLogin).size();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(recorder().withId(kCmdWebQrLogin).size(), before);
}

// Leaving the QR page, closing the dialog or signing in by any way ends the QR attempt: a scan that the
// plug-in still reports for it signs nobody in, and the QR page starts a new attempt when shown again.
TEST_F(LoginDialogTest, AnEndedQrAttemptSignsNobodyIn)
{
    const struct {
        const char* what;
        std::function<void(LoginDialog&)> end;
    } cases[] = {
        { "back to the password page",
            [](LoginDialog& dialog) {
                QTest::mouseClick(
                    child<QToolButton>(dialog, "toolButton_to_pwd_login_page"), Qt::LeftButton);
            } },
        { "close button",
            [](LoginDialog& dialog) {
                QTest::mouseClick(child<QPushButton>(dialog, "pushButton_login_close"), Qt::LeftButton);
            } },
        { "Escape", [](LoginDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); } },
        { "signed in another way",
            [](LoginDialog&) { CD->signal->emit_value(kSignalVipState, bg::Value(userInfo(10001))); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorder().commands.clear();
        LoginDialog dialog;
        dialog.show();
        showQrPage(dialog);
        const bg::MsgCallback attempt = lastQrAttempt().callback;
        attempt(scan(0));
        ASSERT_EQ(dialog.qrState(), 0);
        c.end(dialog);
        attempt(scan(2, "wx-late"));
        EXPECT_TRUE(recorder().withId(kCmdLoginByWechatCode).empty()) << "the late code is not sent";
        EXPECT_EQ(dialog.qrState(), -1);
        const size_t attempts = recorder().withId(kCmdWebQrLogin).size();
        dialog.show();
        showQrPage(dialog);
        EXPECT_GT(recorder().withId(kCmdWebQrLogin).size(), attempts);
        lastQrAttempt().callback(scan(2, "wx-new"));
        EXPECT_EQ(recorder().withId(kCmdLoginByWechatCode).size(), 1u) << "the new attempt counts";
    }
}

std::mutex debugMutex;
std::string debugLines;
void captureDebug(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(debugMutex);
    debugLines += text.toStdString() + "\n";
}

TEST_F(LoginDialogTest, QrSignInSendsTheCodeAndForgetsTheTypedDigest)
{
    CD->config->set(kCfgKeyAuto, "1");
    CD->config->set(kCfgAccount, "demo");
    CD->config->set(kCfgPassword, kDigest);
    LoginDialog dialog;
    QMetaObject::invokeMethod(&dialog, "AutoLogin");
    recorder().commands.clear();
    dialog.show();
    showQrPage(dialog);
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    lastQrAttempt().callback(scan(2, "wx-secret-code"));
    qInstallMessageHandler(previous);
    const auto codes = recorder().withId(kCmdLoginByWechatCode);
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(codes[0]->message.toStdString(), "wx-secret-code");
    EXPECT_EQ(child<QLabel>(dialog, "label_qrcode_state")->text(), QStringLiteral("扫码完成"));
    {
        std::lock_guard<std::mutex> lock(debugMutex);
        EXPECT_NE(debugLines.find("[QRCode_callBack]:"), std::string::npos) << debugLines;
        EXPECT_EQ(debugLines.find("wx-secret-code"), std::string::npos) << debugLines;
    }
    answerLogin(*codes[0], 10001);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(config(kCfgPassword), "") << "the next start must not sign in as the typed account";
}

TEST_F(LoginDialogTest, SignedOutPayloadTurnsAutomaticSignInOff)
{
    LoginDialog dialog;
    child<QCheckBox>(dialog, "checkBox_autologin")->setChecked(true);
    typeAndLogin(dialog, QStringLiteral("demo"), QStringLiteral("demo1234"));
    answerLogin(*recorder().withId(kCmdLoginByAccount)[0], 10001);
    ASSERT_EQ(config(kCfgKeyAuto), "1");
    QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
    CD->signal->emit_value(kSignalVipState, bg::Value(userInfo(0, 0)));
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(CD->data->get_data(kDataUserId, bg::Value(7LL)).toInt64(), 0);
    EXPECT_EQ(config(kCfgKeyAuto), "0");
    EXPECT_EQ(config(kCfgPassword), "");
    // A later membership change rewrites the keys again; a payload that is no JSON changes nothing.
    CD->signal->emit_value(kSignalVipState, bg::Value("not json"));
    EXPECT_EQ(refreshed.count(), 1);
}

TEST_F(LoginDialogTest, NoListenerAfterDestruction)
{
    int listener = -1;
    {
        LoginDialog dialog;
        EXPECT_TRUE(CD->signal->exists(kSignalVipState, -1));
        QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
        CD->signal->emit_value(kSignalVipState, bg::Value(userInfo(3)));
        EXPECT_EQ(refreshed.count(), 1);
        listener = 0;
    }
    EXPECT_EQ(listener, 0);
    EXPECT_FALSE(CD->signal->exists(kSignalVipState, -1));
    CD->signal->emit_value(kSignalVipState, bg::Value(userInfo(4))); // reaches nothing (ASan would see it)
}

class LoginEnvironment : public BridgeEnvironment {
public:
    void SetUp() override
    {
        BridgeEnvironment::SetUp();
        const char* names[] = { kRecorderModule };
        ASSERT_EQ(bg::LoadModules(names, 1, true), 1);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new LoginEnvironment);
    return RUN_ALL_TESTS();
}
