#include "ui/Dialog/logindialog.h"

#include "ui_logindialog.h"

#include "global/accountkeys.h"
#include "global/appkeys.h"
#include "global/datakeys.h"
#include "global/loginkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "global/windowkitnames.h"
#include "win/qssmanager.h"

#include <bridge/abstract_config.h>
#include <bridge/app.h>
#include <bridge/bg_log.h>
#include <bridge/crypt.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

// Qt's "emit" keyword would swallow the hub's emit operation.
#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")

#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <jsonread/jsonread.h>

#include <atomic>
#include <optional>
#include <cstdlib>

namespace {

constexpr int kReenableDelayMs = 1000;
constexpr int kTitleHeight = 45;
constexpr int kWidth = 340;
constexpr int kHeight = 380;

std::atomic<int> autoLoginDelayMs { 2000 };

struct StateText {
    int state;
    const char* text;
};
const StateText kStateTexts[] = {
    { LoginDialog::Waiting, "请扫码" },
    { LoginDialog::Cancelled, "扫码取消" },
    { LoginDialog::Confirmed, "扫码完成" },
    { LoginDialog::NotScanned, "未扫码" },
    { LoginDialog::Expired, "二维码超时" },
    { LoginDialog::Failed, "扫码错误" },
};

bool endsAttempt(int state)
{
    return state == LoginDialog::Cancelled || state == LoginDialog::Expired || state == LoginDialog::Failed;
}

bg::Abstract_Config* config() { return CD ? CD->config : nullptr; }

// The membership website: the origin (scheme, host, port) of the membership API base, as the plug-in builds
// its pages; nothing when the base is no web address.
QString websiteOrigin()
{
    const std::string host
        = CD && CD->app ? CD->app->get_property("host", bg::Value(""), false).toStdString() : "";
    const QUrl base(QString::fromStdString(host), QUrl::StrictMode);
    const QString scheme = base.scheme().toLower();
    if (!base.isValid() || base.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return QString();
    return base.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded);
}

QString linkText(const QString& url, const QString& text)
{
    return QStringLiteral(
        "<a href=\"%1\" style=\"color:#009FFF; text-decoration:none; font-size:8pt;\">%2</a>")
        .arg(url.toHtmlEscaped(), text);
}

std::string md5Hex(const QString& text)
{
    if (!CD || !CD->crypt)
        return std::string();
    char* digest = CD->crypt->md5_str(text.toUtf8().constData());
    const std::string hex = digest ? digest : "";
    std::free(digest);
    return hex;
}

// A message of the QR attempt as the log may show it: the WeChat code is an authorisation.
std::string loggableMessage(const bg::Value& message)
{
    bg::ValueMap map = message.toMap();
    if (!map.isValid())
        return message.write();
    if (!map.get_data("wxcode", bg::Value("")).toStdString().empty())
        map["wxcode"] = bg::Value("***");
    return bg::Value(map).write();
}

void setAppProperty(const char* key, const bg::Value& value)
{
    if (CD && CD->app)
        CD->app->set_property(key, value, false);
}

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

} // namespace

namespace zov {

int64_t BaseData::getInt64(const Json::Value& object, const char* name)
{
    return jsonread::int64Of(object, name).value_or(0);
}

int BaseData::getInt(const Json::Value& object, const char* name)
{
    return jsonread::intOf(object, name).value_or(0);
}

QString BaseData::getString(const Json::Value& object, const char* name)
{
    return QString::fromStdString(jsonread::stringOf(object, name).value_or(std::string()));
}

} // namespace zov

void LoginDialog::setAutoLoginDelayMs(int milliseconds) { autoLoginDelayMs = milliseconds; }

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LoginDialog>())
{
    ui->setupUi(this);
    setWindowTitle(tr("账号登录"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);

    auto* qss = new QssManager(this, true);
    qss->loadStyleSheet(QString::fromLatin1(kLoginStyleSheet));
    const double scale = QssManager::dpiScale();
    setFixedSize(qRound(kWidth * scale), qRound(kHeight * scale));
    const int titleHeight = int(scale * kTitleHeight);
    ui->widget_login_title->setFixedHeight(titleHeight);
    for (QWidget* widget : { static_cast<QWidget*>(ui->page_password_login),
             static_cast<QWidget*>(ui->page_qrcode_login), static_cast<QWidget*>(ui->widget_account_title),
             static_cast<QWidget*>(ui->frame_account), static_cast<QWidget*>(ui->frame_pwd) })
        widget->setStyleSheet(styleSheet());

    ui->label_account_unlock->hide();
    on_toolButton_to_pwd_login_page_clicked();

    setProperty(
        windowkit::kHeaderButtons, QVariant::fromValue(QList<QObject*> { ui->pushButton_login_close }));
    setProperty(windowkit::kHeaderHeight, titleHeight);
    setProperty(windowkit::kHeaderVisible, false);
    if (CD)
        CD->send(windowkit::kMembershipModule, windowkit::kFramelessFrameCommand,
            bg::Value(static_cast<void*>(this)), bg::MsgCallback());

    initUi();

    if (CD && CD->signal) {
        QPointer<LoginDialog> self(this);
        m_vipStateListenerId = CD->signal->connect(
            kSignalVipState, [self](const char*, const bg::Value& value, bg::ReplyCallback) {
                if (!self)
                    return;
                self->onLoginReply(value);
                self->on_checkBox_autologin_clicked();
            });
    }
    QTimer::singleShot(autoLoginDelayMs.load(), this, &LoginDialog::AutoLogin);
}

LoginDialog::~LoginDialog()
{
    if (CD && CD->signal && m_vipStateListenerId != -1)
        CD->signal->remove(kSignalVipState, m_vipStateListenerId);
}

void LoginDialog::initUi()
{
    ui->pushButton_login_close->setFocusPolicy(Qt::NoFocus);
    // Enter is handled on its release: a default button would sign in a second time on the press.
    ui->pushButton_login->setAutoDefault(false);
    ui->pushButton_login_close->setAutoDefault(false);
    m_qrState = None;
    ui->widget_qrcode->load(QRCodeWidget::Loading, QString());
    ui->label_account_unlock->hide();
    if (ui->stackedWidget->currentWidget() == ui->page_qrcode_login)
        ui->label_qrcode_state->setVisible(m_qrState != None);
    ui->label_qrcode_state->setText(QString());
    ui->lineEdit_user_name->setPlaceholderText(tr("请输入您的账号"));
    ui->lineEdit_pwd->setPlaceholderText(tr("请输入您的密码"));
    ui->lineEdit_pwd->setEchoMode(QLineEdit::Password);
    ui->label_errmsg->setTextFormat(Qt::PlainText);
    initLinks();
    connect(ui->widget_qrcode, &QRCodeWidget::sigRefresh, this,
        &LoginDialog::on_toolButton_to_qrcode_login_page_clicked);
    connect(ui->widget_qrcode, &QRCodeWidget::sigState, this, &LoginDialog::onQRCodeState);
}

void LoginDialog::initLinks()
{
    const QString origin = websiteOrigin();
    ui->lb_register->setText(linkText(origin + kPageRegister, tr("注册帐号")));
    ui->lb_findpwd->setText(linkText(origin + kPageFindPassword, tr("找回密码")));
    ui->label_account_unlock->setText(linkText(origin + kPageUnbindHelp, tr("如何解绑设备")));
}

bool LoginDialog::sendToPlugin(
    int command, const bg::Value& message, const std::function<void(const bg::Value&)>& reply)
{
    const bg::Value result = CD ? CD->send(kMembershipModule, command, message, reply)
                                : bg::Value::ErrorValue(-1003, "module not exsit");
    if (!result.isError())
        return true;
    BG_LOGE("login: the membership module did not take command %d: %s", command, result.errorMsg());
    showError(tr("会员模块未加载，暂时无法登录"));
    return false;
}

void LoginDialog::showError(const QString& text)
{
    ui->label_errmsg->setText(text.left(kErrorTextLimit));
    ui->label_errmsg->setVisible(!text.isEmpty());
}

void LoginDialog::on_pushButton_login_clicked()
{
    const QString account = ui->lineEdit_user_name->text();
    const QString password = ui->lineEdit_pwd->text();
    if (account.isEmpty() || password.isEmpty())
        return;
    login(account, QString::fromStdString(md5Hex(password)));
}

void LoginDialog::login(const QString& account, const QString& password)
{
    bg::ValueMap map;
    map["account"] = bg::Value(account.toUtf8().toStdString());
    map["password"] = bg::Value(password.toUtf8().toStdString());
    m_account = account;
    m_password = password;
    m_qrSignIn = false;
    ui->pushButton_login->setEnabled(false);
    QPointer<LoginDialog> self(this);
    const bool sent = sendToPlugin(kCmdLoginByAccount, bg::Value(map), [self](const bg::Value& reply) {
        if (!self)
            return;
        self->checkError(QStringLiteral("ByAccountPwd"), reply);
        QTimer::singleShot(kReenableDelayMs, self, [self] { self->ui->pushButton_login->setEnabled(true); });
    });
    if (!sent)
        ui->pushButton_login->setEnabled(true);
}

void LoginDialog::checkError(const QString&, const bg::Value& reply)
{
    const bg::ValueMap map = reply.toMap();
    const int errcode = map.get_data("errcode", bg::Value(0)).toInt();
    ui->label_account_unlock->setVisible(errcode == kErrDeviceBound);
    if (errcode != 0) {
        showError(QString::fromUtf8(map.get_data("errmsg", bg::Value("")).toStdString().c_str()));
        return;
    }
    showError(QString());
    close();
}

void LoginDialog::onLoginReply(const bg::Value& userInfo)
{
    const std::optional<Json::Value> parsed = jsonread::parseObject(userInfo.toStdString());
    if (!parsed)
        return;
    const Json::Value& info = *parsed;
    const int64_t userId = getInt64(info, "user_id");
    const int level = getInt(info, "vip_level");
    const QString name = getString(info, "name");
    const QString avatar = getString(info, "avatar");
    const QString token = getString(info, "token");

    setAppProperty("avatar", bg::Value(avatar.toStdString()));
    setAppProperty("name", bg::Value(name.toStdString()));
    setAppProperty("token", bg::Value(token.toStdString()));
    setAppProperty("user_id", bg::Value(static_cast<long long>(userId)));
    setAppProperty("vip_level", bg::Value(level));

    setData(kDataUserId, bg::Value(static_cast<long long>(userId)));
    setData(kDataUserLevel, bg::Value(level));
    setData(kDataUserBusiType, bg::Value(getInt(info, "busi_type")));
    setData(kDataUserName, bg::ValueQt(name));
    setData(kDataUserAvatar, bg::ValueQt(avatar));
    setData(kDataUserToken, bg::ValueQt(token));
    setData(kDataUserEndTime, bg::ValueQt(getString(info, "end_time")));
    setData(kDataUserVipName, bg::ValueQt(getString(info, "vip_name")));
    setData(kDataUserMeetingHost, bg::ValueQt(getString(info, "meeting_host")));

    if (userId > 0)
        endQrAttempt(); // signed in, whichever way: a QR code confirmed later must not sign in another account
    if (userId <= 0) {
        // Signed out: the next start must not sign in again.
        ui->checkBox_autologin->setChecked(false);
        m_password.clear();
    } else if (m_qrSignIn) {
        // A QR sign-in has no password: the digest of an earlier typed account must not sign in next time.
        m_password.clear();
    }
    emit sig_RefreshVIP();
}

void LoginDialog::on_checkBox_autologin_clicked()
{
    bg::Abstract_Config* store = config();
    if (!store)
        return;
    const bool automatic = ui->checkBox_autologin->isChecked();
    cfgSetStdString(store, kCfgKeyAuto, automatic ? "1" : "0");
    cfgSetStdString(store, kCfgAccount, m_account.toUtf8().constData());
    // The digest signs in by itself: kept only while automatic sign-in is on.
    cfgSetStdString(store, kCfgPassword, automatic ? m_password.toUtf8().constData() : "");
    store->save();
}

void LoginDialog::loadCredentials()
{
    bg::Abstract_Config* store = config();
    m_autoLogin = cfgGetStdString(store, kCfgKeyAuto, "0", true) == "1";
    m_account = QString::fromStdString(cfgGetStdString(store, kCfgAccount, "", true));
    m_password = QString::fromStdString(cfgGetStdString(store, kCfgPassword, "", true));
}

void LoginDialog::AutoLogin()
{
    loadCredentials();
    if (!m_autoLogin || m_account.isEmpty() || m_password.isEmpty())
        return;
    ui->checkBox_autologin->setChecked(true);
    ui->lineEdit_user_name->setText(m_account);
    login(m_account, m_password);
}

void LoginDialog::on_toolButton_to_qrcode_login_page_clicked()
{
    m_qrState = None;
    ui->widget_qrcode->load(QRCodeWidget::Loading, QString());
    ui->label_account_unlock->hide();
    // No state yet: nothing to show, whichever page was current.
    ui->label_qrcode_state->hide();
    ui->label_qrcode_state->setText(QString());
    ui->stackedWidget->setCurrentWidget(ui->page_qrcode_login);
    showError(QString());
    QPointer<LoginDialog> self(this);
    const quint64 attempt = ++m_qrAttempt;
    sendToPlugin(kCmdWebQrLogin, bg::Value(), [self, attempt](const bg::Value& message) {
        // An attempt that was left, closed or overtaken by a sign-in signs nobody in.
        if (self && self->m_qrAttempt == attempt)
            self->onQRCodeCallback(message);
    });
}

void LoginDialog::onQRCodeCallback(const bg::Value& message)
{
    qDebug().noquote() << "[QRCode_callBack]:" << QString::fromStdString(loggableMessage(message));
    const bg::ValueMap map = message.toMap();
    const std::string type = map.get_data("type", bg::Value("")).toStdString();
    if (type == "net") {
        if (map.get_data("errcode", bg::Value(0)).toInt() != 0) {
            showError(QString::fromStdString(map.get_data("errmsg", bg::Value("")).toStdString()));
            return;
        }
        ui->widget_qrcode->load(QRCodeWidget::Image,
            QString::fromStdString(map.get_data("wechat_qrcode", bg::Value("")).toStdString()));
    } else if (type == "scan") {
        const int state = map.get_data("state", bg::Value(0)).toInt();
        const std::string wxcode = map.get_data("wxcode", bg::Value("")).toStdString();
        if (!wxcode.empty()) {
            m_qrSignIn = true;
            QPointer<LoginDialog> self(this);
            sendToPlugin(kCmdLoginByWechatCode, bg::Value(wxcode), [self](const bg::Value& reply) {
                if (!self)
                    return;
                self->m_qrSignIn = false;
                self->checkError(QStringLiteral("ByWechatCode"), reply);
            });
        }
        onQRCodeState(state);
    }
}

void LoginDialog::onQRCodeState(int state)
{
    m_qrState = state;
    QString text;
    for (const StateText& entry : kStateTexts) {
        if (entry.state == state)
            text = tr(entry.text);
    }
    if (endsAttempt(state))
        ui->widget_qrcode->load(QRCodeWidget::RefreshPrompt, QString());
    if (state == None) {
        ui->widget_qrcode->load(QRCodeWidget::Loading, QString());
        ui->label_account_unlock->hide();
    }
    if (ui->stackedWidget->currentWidget() == ui->page_qrcode_login)
        ui->label_qrcode_state->setVisible(m_qrState != None);
    ui->label_qrcode_state->setText(text);
}

void LoginDialog::on_toolButton_to_pwd_login_page_clicked()
{
    endQrAttempt();
    ui->stackedWidget->setCurrentWidget(ui->page_password_login);
    showError(QString());
}

void LoginDialog::endQrAttempt()
{
    ++m_qrAttempt;
    if (m_qrState != None)
        onQRCodeState(None);
}

void LoginDialog::closeEvent(QCloseEvent* event)
{
    endQrAttempt();
    QDialog::closeEvent(event);
}

void LoginDialog::done(int result)
{
    endQrAttempt();
    QDialog::done(result);
}

void LoginDialog::on_pushButton_login_close_clicked() { close(); }

void LoginDialog::on_label_account_unlock_linkActivated(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

void LoginDialog::on_lb_register_linkActivated(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

void LoginDialog::on_lb_findpwd_linkActivated(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

void LoginDialog::keyReleaseEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !event->isAutoRepeat() && ui->page_password_login->isVisible())
        on_pushButton_login_clicked();
}

void LoginDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    const bool restart = m_qrState == None || m_qrState == Confirmed || endsAttempt(m_qrState);
    if (ui->stackedWidget->currentWidget() == ui->page_qrcode_login && restart)
        on_toolButton_to_qrcode_login_page_clicked();
}
