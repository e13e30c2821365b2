#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What the request layer takes from the framework: AES, the wall clock and the application's name and
// version. All functions may be called from any thread.
namespace netframework {

std::string aesEncrypt(const std::string& text, const std::string& key, bool* ok);
std::string aesDecrypt(const std::string& cipher, const std::string& key, bool* ok);
// Microseconds since 1970-01-01 00:00 UTC.
int64_t nowMicroseconds();
std::string appName();
std::string appVersion();

// Test seam: a fixed clock in place of the framework's. Not to be changed while requests run.
struct Override {
    std::function<int64_t()> nowMicroseconds;
};
void setOverride(std::optional<Override> override);

} // namespace netframework
