#include "net/netframework.h"

#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>
#include <bridge/utils.h>

#include <mutex>

namespace netframework {

namespace {

    std::mutex overrideMutex;
    std::optional<Override> active;

    std::optional<Override> current()
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        return active;
    }

    // The admin's crypt service; null before start-up and after tear-down, when nothing can be wrapped.
    bg::Crypt* crypt() { return CD ? CD->crypt : nullptr; }

} // namespace

std::string aesEncrypt(const std::string& text, const std::string& key, bool* ok)
{
    if (bg::Crypt* service = crypt())
        return service->aes_encrypt(text, key, ok);
    *ok = false;
    return std::string();
}

std::string aesDecrypt(const std::string& cipher, const std::string& key, bool* ok)
{
    if (bg::Crypt* service = crypt())
        return service->aes_decrypt(cipher, key, ok);
    *ok = false;
    return std::string();
}

int64_t nowMicroseconds()
{
    if (const std::optional<Override> o = current(); o && o->nowMicroseconds)
        return o->nowMicroseconds();
    bg::Utils* utils = CD && CD->utils ? CD->utils : bg::utils::instance();
    return utils->now_time(1);
}

std::string appName()
{
    const char* name = CD && CD->app ? CD->app->name() : nullptr;
    return name ? name : std::string();
}

std::string appVersion()
{
    const char* version = CD && CD->app ? CD->app->version() : nullptr;
    return version ? version : std::string();
}

void setOverride(std::optional<Override> override)
{
    std::lock_guard<std::mutex> lock(overrideMutex);
    active = std::move(override);
}

} // namespace netframework
