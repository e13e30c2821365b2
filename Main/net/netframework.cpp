#include "net/netframework.h"

#include <bridge/crypt.h>
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

    // The crypt service keeps no state, so one instance serves every thread.
    bg::Crypt& crypt()
    {
        static bg::Crypt instance;
        return instance;
    }

} // namespace

std::string aesEncrypt(const std::string& text, const std::string& key, bool* ok)
{
    return crypt().aes_encrypt(text, key, ok);
}

std::string aesDecrypt(const std::string& cipher, const std::string& key, bool* ok)
{
    return crypt().aes_decrypt(cipher, key, ok);
}

int64_t nowMicroseconds()
{
    if (const std::optional<Override> o = current(); o && o->nowMicroseconds)
        return o->nowMicroseconds();
    return bg::utils::instance()->now_time(1);
}

std::string appName()
{
    if (const std::optional<Override> o = current())
        return o->appName;
    return std::string();
}

std::string appVersion()
{
    if (const std::optional<Override> o = current())
        return o->appVersion;
    return std::string();
}

void setOverride(std::optional<Override> override)
{
    std::lock_guard<std::mutex> lock(overrideMutex);
    active = std::move(override);
}

} // namespace netframework
