#include "base/vip/vipdata.h"

#include "base/logmask.h"
#include "base/memvialog.h"
#include "base/vip/vipnet.h"

#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

namespace {

constexpr char kLifetimeAfter[] = "2100-01-01";
constexpr size_t kDateLength = 10; // "2020-00-00"

const char* const kJumpTargets[]
    = { "user-center", "user-busi", "user-package", "user-buycenter", "user-buy" };

} // namespace

VipData::VipData(QObject* parent)
    : Base(parent)
{
}

VipData* VipData::instance()
{
    static VipData* data = new VipData;
    return data;
}

std::string VipData::token()
{
    std::lock_guard<std::mutex> lock(m_tokenMutex);
    return m_token;
}

QString VipData::levelName(int level)
{
    switch (level) {
    case -3:
    case -2:
    case -1:
        return tr("会员过期");
    case 0:
        return tr("游客");
    case 1:
        return tr("普通用户");
    case 2:
        return tr("会员用户");
    case 3:
        return tr("高级会员");
    default:
        return QString();
    }
}

bool VipData::namesAccount(const Json::Value& result) { return int64Member(result, "user_id") > 0; }

bool VipData::parseLoginInfo(const Json::Value& result)
{
    qDebug().noquote() << "[login_success_info]:"
                       << QString::fromStdString(maskSecrets(result.toStyledString()));
    m_userId = int64Member(result, "user_id");
    m_userName = stringMember(result, "user_name");
    m_nickName = stringMember(result, "nick_name");
    m_email = stringMember(result, "email");
    m_telphone = stringMember(result, "telphone");
    m_avatar = stringMember(result, "avatar");
    {
        std::lock_guard<std::mutex> lock(m_tokenMutex);
        m_token = stringMember(result, "token");
    }
    m_autoLoginToken = stringMember(result, "auto_login_token");
    m_showDelay = 0;
    const Json::Value config = memberValue(result, "config");
    if (!config.isNull()) {
        m_showDelay = intMember(config, "show_delay");
        m_meetingHost = stringMember(config, "meetting_host");
    }
    parseProductState(memberValue(result, "product_state"));
    return true;
}

void VipData::parseProductState(const Json::Value& states)
{
    int level = 1;
    if (states.isArray()) {
        const int wanted = productType();
        for (const Json::Value& state : states) {
            if (intMember(state, "product_type") != wanted)
                continue;
            level = intMember(state, "product_level");
            m_endTime = stringMember(state, "end_time");
            m_busiType = intMember(state, "busi_type");
            m_maxDevice = intMember(state, "max_device");
            m_clientDevice = intMember(state, "client_device");
            break;
        }
    }
    if (level >= -3 && level <= 3)
        m_vipName = levelName(level).toStdString();
    endTimeText();
    m_productLevel = level;
}

bool VipData::parseProductStateResult(const std::string& result)
{
    bool parsed = false;
    const Json::Value states = result.empty() ? Json::Value() : parseJson(result, &parsed);
    if (!parsed || !states.isArray()) {
        BG_LOGE("vip_queryProductState: the reply holds no list of states");
        return false;
    }
    parseProductState(states);
    return true;
}

std::string VipData::endTimeText()
{
    std::string date = m_endTime;
    if (date.size() >= kDateLength)
        date.resize(kDateLength);
    if (date > kLifetimeAfter) {
        const std::string lifetime = tr("终身会员").toStdString();
        m_vipName = lifetime;
        return lifetime;
    }
    return date;
}

void VipData::clear()
{
    m_userId = 0;
    m_userName.clear();
    m_email.clear();
    m_telphone.clear();
    m_nickName.clear();
    m_avatar.clear();
    m_vipName.clear();
    m_endTime.clear();
    {
        std::lock_guard<std::mutex> lock(m_tokenMutex);
        m_token.clear();
    }
    m_meetingHost.clear();
    m_productLevel = 0;
    m_busiType = 0;
    m_maxDevice = 0;
    m_clientDevice = 0;
}

std::string VipData::displayName(const std::string& kind)
{
    if (kind.empty()) {
        for (const std::string* field : { &m_userName, &m_telphone, &m_email }) {
            if (!field->empty())
                return *field;
        }
    } else if (kind == "telphone" && !m_telphone.empty()) {
        return m_telphone;
    } else if (kind == "email" && !m_email.empty()) {
        return m_email;
    } else if (kind == "nickname" && !m_nickName.empty()) {
        return m_nickName;
    }
    return userIdText();
}

std::string VipData::userInfoJson()
{
    Json::Value info(Json::objectValue);
    info["name"] = displayName();
    info["vip_name"] = m_vipName;
    info["vip_level"] = m_productLevel;
    info["busi_type"] = m_busiType;
    info["avatar"] = m_avatar;
    info["user_id"] = Json::Int64(m_userId);
    info["token"] = token();
    info["end_time"] = endTimeText();
    info["nick_name"] = m_nickName;
    info["client_device"] = m_clientDevice;
    info["auto_token"] = m_autoLoginToken;
    info["show_delay"] = m_showDelay;
    info["meeting_host"] = m_meetingHost;
    return info.toStyledString();
}

void VipData::jumpTarget(int kind)
{
    const std::string target = kind >= 0 && kind < int(std::size(kJumpTargets)) ? kJumpTargets[kind] : "";
    VipNet::instance()->getJumpJsWebUrl(target, [](int errcode, std::string errmsg, std::string result) {
        if (errcode != 0) {
            BG_LOGE("vip_getJumpWebUrl err: %s", errmsg.c_str());
            return;
        }
        const std::string address = stringMember(parseJson(result), "jump_url");
        const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
        const QString scheme = url.scheme().toLower();
        // The page comes from the service: anything but a web address (a local file, a program's scheme)
        // is not handed to the desktop.
        if (!url.isValid() || (scheme != "http" && scheme != "https")) {
            BG_LOGE("vip_getJumpWebUrl refused: %s", address.c_str());
            return;
        }
        QDesktopServices::openUrl(url);
    });
}
