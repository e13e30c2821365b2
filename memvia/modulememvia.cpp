#include "modulememvia.h"

#include "base/memvialog.h"
#include "base/memviamodule.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"
#include "memviacommand.h"
#include "ui/framelesswidgethelper.h"
#include "ui/vippaydialog.h"
#include "ui/messageform.h"
#include "wechat/webqrcodemgr.h"

#include <bridge/app.h>
#include <bridge/valuemap.h>

#include <QCoreApplication>


#include <cstring>

namespace {

// The plug-in's own component pointer is kept by memvia::setModule: an exported "CD" here would take the
// place of the framework's for every library loaded after the plug-in.
constexpr char kModuleName[] = "Memvia";

bg::Value reply(int errcode, const std::string& errmsg, const std::string& result)
{
    bg::ValueMap map;
    map[memviareply::kCode] = bg::Value(errcode);
    map[memviareply::kMessage] = bg::Value(errmsg);
    map[memviareply::kResult] = bg::Value(result);
    return bg::Value(map);
}

} // namespace

ModuleMemvia::ModuleMemvia(bg::Interface* admin)
    : Bridge_B(admin)
{
    std::strncpy(name, kModuleName, sizeof name - 1);
}

ModuleMemvia::~ModuleMemvia() { BG_LOGE("------  ~ModuleMemvia"); }

bool ModuleMemvia::init() { return true; }

bool ModuleMemvia::start()
{
    BG_LOGE("---- start");
    const bool skipCheck = app && app->get_property("user_version_check", bg::Value(false), false).toBool();
    if (!skipCheck)
        m_object.versionCheck(bg::MsgCallback());
    return true;
}

bool ModuleMemvia::uninit()
{
    BG_LOGE("---- uninit");
    WebQRCodeMgr::instance()->stopAll();
    // Exchanges still under way use this module's components, which the framework releases next: they are
    // ended rather than waited for.
    BaseNet::abortExchanges();
    return true;
}

bool ModuleMemvia::is_debug() { return false; }

bg::Value ModuleMemvia::process(const char*, int id, const bg::Value& msg, const bg::MsgCallback& cb)
{
    switch (id) {
    case MakeFrameless:
        FramelessWidgetHelper::frame(static_cast<QWidget*>(msg.toVoid()));
        break;
    case ShowNotice:
    case AskQuestion:
        showMessage(id, msg, cb);
        break;
    case NetRequest:
        VipNet::instance()->post(
            msg.toStdString(), [cb](int errcode, std::string errmsg, std::string result) {
                if (cb)
                    cb(reply(errcode, errmsg, result));
            });
        break;
    case LoginByAccount:
    case LoginByWechatCode:
    case LoginByAutoToken:
        login(id, msg, cb);
        break;
    case WebQrLogin:
        WebQRCodeMgr::instance()->start(cb);
        break;
    case Logout:
        logout(cb);
        break;
    case VersionCheck:
        m_object.versionCheck(cb);
        break;
    case ShowUserInfo:
    case ShowPurchase:
        showDialog(id, msg);
        break;
    default:
        // Every other number is ignored and never answered.
        break;
    }
    return bg::Value(static_cast<void*>(this));
}

void ModuleMemvia::showMessage(int id, const bg::Value& msg, const bg::MsgCallback& cb)
{
    QWidget* parent = nullptr;
    std::string text;
    const bg::ValueMap map = msg.toMap();
    if (map.isValid()) {
        parent
            = static_cast<QWidget*>(map.get_data("parent", bg::Value(static_cast<void*>(nullptr))).toVoid());
        text = map.get_data("text", bg::Value("")).toStdString();
    } else {
        text = msg.toStdString();
    }
    MessageForm form(id == ShowNotice ? 2 : 1, parent);
    form.setWindowTitle(QCoreApplication::translate("ModuleMemvia", "提示", "Note"));
    QObject::connect(
        &form, &MessageForm::sig_select, &form,
        [cb](int choice) {
            if (cb)
                cb(bg::Value(choice));
        },
        Qt::DirectConnection);
    form.setText(QString::fromStdString(text));
    form.exec();
}

void ModuleMemvia::login(int id, const bg::Value& msg, const bg::MsgCallback& cb)
{
    RequestCallback adapter = [this, cb](int errcode, std::string errmsg, std::string result) {
        if (errcode == 0) {
            bool parsed = false;
            const Json::Value info = result.empty() ? Json::Value() : Base::parseJson(result, &parsed);
            if (!parsed || !VipData::namesAccount(info)) {
                // Nothing usable to store: reported as a failure, the account stays as it was.
                BG_LOGE("login result without an account");
                errcode = memviareply::kInvalidLogin;
                errmsg = QCoreApplication::translate("ModuleMemvia", "登录信息无效，请重试！").toStdString();
                result.clear();
            } else {
                // Whichever way the user signed in, a QR attempt still waiting would sign in another account.
                WebQRCodeMgr::instance()->stopCurrent();
                VipData::instance()->parseLoginInfo(info);
                result = VipData::instance()->userInfoJson();
                m_object.slot_sendSig();
            }
        }
        if (cb)
            cb(reply(errcode, errmsg, result));
    };
    VipNet* net = VipNet::instance();
    if (id == LoginByAccount) {
        const bg::ValueMap map = msg.toMap();
        net->checkLoginByAccount(map.get_data("account", bg::Value("")).toStdString(),
            map.get_data("password", bg::Value("")).toStdString(), adapter);
    } else if (id == LoginByWechatCode) {
        net->checkLoginByWechatCode(msg.toStdString(), adapter);
    } else {
        net->checkByAutoLoginToken(msg.toStdString(), adapter);
    }
}

// The account (210) and purchase (220) dialogs never answer.
void ModuleMemvia::showDialog(int id, const bg::Value& msg)
{
    const bg::ValueMap map = msg.toMap();
    QWidget* parent = nullptr;
    if (map.isValid()) {
        const bg::Value none(static_cast<void*>(nullptr));
        parent = static_cast<QWidget*>(map.get_data("parent", none).toVoid());
    }
    if (id == ShowUserInfo)
        m_object.showUserInfoDialog(parent, map.isValid() ? &map : nullptr);
    else
        m_object.showPayDialog(parent)->show();
}

void ModuleMemvia::logout(const bg::MsgCallback& cb)
{
    VipData::instance()->clear();
    m_object.slot_closePayDialog();
    if (cb)
        cb(reply(0, std::string(), VipData::instance()->userInfoJson()));
}

extern "C" bg::Interface* get_component(bg::Interface* admin)
{
    // Never destroyed: the framework keeps components until the process ends.
    static ModuleMemvia* module = [admin] {
        auto* created = new ModuleMemvia(admin);
        memvia::setModule(created);
        return created;
    }();
    return module;
}
