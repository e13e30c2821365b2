#include "net/netframework.h"

#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

#include <chrono>
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
    // The system's wall clock, as the framework's clock of kind 1 reads it.
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
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
