#include "base/logmask.h"

#include <regex>

std::string maskSecrets(const std::string& text)
{
    // A member name, its colon and a whole string value, escaped quotes included.
    static const std::regex secret(
        R"rx(("(?:token|auto_login_token|auto_token|password|sign)"\s*:\s*)"(?:[^"\\]|\\.)*")rx");
    return std::regex_replace(text, secret, "$1\"***\"");
}
