#include "base/base.h"

#include "base/logmask.h"
#include "base/memvialog.h"

#include <bridge/app.h>
#include <bridge/crypt.h>
#include <bridge/utils.h>

#include <korvex/md5.h>

#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include <jsonread/jsonread.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr char kSignSalt[] = "norvo.zq@19971204";
constexpr char kReleaseKey[] = "norvo.zq_&^%*_84";
constexpr char kDebugKey[] = "norvo.zq_1998_11";

bg::Value appProperty(const char* key, const bg::Value& fallback)
{
    bg::Interface* component = memvia::module();
    if (!component || !component->app)
        return fallback;
    return component->app->get_property(key, fallback, false);
}

} // namespace

Base::Base(QObject* parent)
    : QObject(parent)
{
}

std::string Base::token() { return std::string(); }

std::string Base::url(const std::string& path)
{
    return appProperty("host", bg::Value("")).toStdString() + path;
}

std::string Base::appName()
{
    bg::Interface* component = memvia::module();
    const char* name = component && component->app ? component->app->name() : nullptr;
    return name ? name : std::string();
}

std::string Base::appVersion()
{
    bg::Interface* component = memvia::module();
    const char* version = component && component->app ? component->app->version() : nullptr;
    return version ? version : std::string();
}

int Base::channelId() { return appProperty("channel_id", bg::Value(0)).toInt(); }

int Base::productType() { return appProperty("product_type", bg::Value(0)).toInt(); }

std::string Base::signKey() { return kSignSalt; }

std::string Base::cryptKey(int version)
{
    if (version != 100)
        return std::string();
    return appProperty("release", bg::Value(true)).toBool() ? kReleaseKey : kDebugKey;
}

Json::Value Base::parseJson(const std::string& text, bool* ok)
{
    Json::Value value;
    const bool parsed = jsonread::parse(text, value);
    if (ok)
        *ok = parsed;
    if (parsed)
        return value;
    const std::string masked = maskSecrets(text);
    std::fprintf(stderr, "解析json error: %s\n", masked.c_str());
    BG_LOGE("解析json报错 %s", masked.c_str());
    return Json::Value();
}

int Base::intMember(const Json::Value& object, const char* name)
{
    return jsonread::intOf(object, name).value_or(-1);
}

int64_t Base::int64Member(const Json::Value& object, const char* name)
{
    return jsonread::int64Of(object, name).value_or(-1);
}

std::string Base::stringMember(const Json::Value& object, const char* name)
{
    return jsonread::stringOf(object, name).value_or(std::string());
}

Json::Value Base::memberValue(const Json::Value& object, const char* name)
{
    return jsonread::member(object, name);
}

double Base::doubleMember(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (value.isDouble())
        return jsonread::toDouble(value).value_or(0);
    if (const std::optional<std::string> text = jsonread::toString(value)) {
        char* end = nullptr;
        const double number = std::strtod(text->c_str(), &end);
        return end != text->c_str() ? number : 0;
    }
    return 0;
}

namespace {
double dpiScaleOverride = 0;
} // namespace

void Base::setDpiScaleOverride(double scale) { dpiScaleOverride = scale > 0 ? scale : 0; }

std::string Base::websiteUrl(const std::string& path)
{
    const QUrl api(QString::fromStdString(url(std::string())), QUrl::StrictMode);
    const QString scheme = api.scheme().toLower();
    if (!api.isValid() || api.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return std::string();
    return api.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
               .toString(QUrl::FullyEncoded)
               .toStdString()
        + path;
}

double Base::dpiScale()
{
    if (dpiScaleOverride > 0)
        return dpiScaleOverride;
    static const double scale = [] {
        const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
            ? QGuiApplication::primaryScreen()
            : nullptr;
        return screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
    }();
    return scale;
}

int64_t Base::nowMicroseconds()
{
    bg::Interface* component = memvia::module();
    bg::Utils* utils = component && component->utils ? component->utils : bg::utils::instance();
    return utils->now_time(1);
}

std::string Base::aesEncrypt(const std::string& text, const std::string& key, bool* ok)
{
    bg::Interface* component = memvia::module();
    if (component && component->crypt)
        return component->crypt->aes_encrypt(text, key, ok);
    *ok = false;
    return std::string();
}

std::string Base::aesDecrypt(const std::string& cipher, const std::string& key, bool* ok)
{
    bg::Interface* component = memvia::module();
    if (component && component->crypt)
        return component->crypt->aes_decrypt(cipher, key, ok);
    *ok = false;
    return std::string();
}

std::string Base::md5(const std::string& text)
{
    bg::Interface* component = memvia::module();
    if (component && component->crypt) {
        if (char* digest = component->crypt->md5_str(text.c_str())) {
            std::string hex(digest);
            component->crypt->free_buffer(digest);
            return hex;
        }
    }
    return zov_crypt::MD5::md5Data(text);
}
