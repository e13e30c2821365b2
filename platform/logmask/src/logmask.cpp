#include "logmask/logmask.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace {

const std::string_view kSecretMembers[] = { "token", "meeting_token", "vip_token", "auto_login_token",
    "auto_token", "user_pwd", "password", "sign" };
constexpr std::string_view kMask = "***";

// The backslashes directly before `pos`. Each run of backslashes is counted for the one quote after it only,
// so the scan stays linear.
size_t backslashesBefore(std::string_view text, size_t pos)
{
    size_t count = 0;
    while (pos > count && text[pos - count - 1] == '\\')
        ++count;
    return count;
}

size_t skipBlanks(std::string_view text, size_t pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    return pos;
}

bool hasAt(std::string_view text, size_t pos, std::string_view part)
{
    return pos <= text.size() && text.substr(pos, part.size()) == part;
}

bool hasQuoteAt(std::string_view text, size_t pos, size_t escapes)
{
    if (pos + escapes >= text.size())
        return false;
    for (size_t i = 0; i < escapes; ++i) {
        if (text[pos + i] != '\\')
            return false;
    }
    return text[pos + escapes] == '"';
}

// The extent [begin, end) of the value text to hide when a member's name ends at `pos` (just past its
// closing quote) and its quotes carry `escapes` backslashes; begin == end when there is nothing to hide.
std::pair<size_t, size_t> valueExtent(std::string_view text, size_t pos, size_t escapes)
{
    pos = skipBlanks(text, pos);
    if (pos >= text.size() || text[pos] != ':')
        return { pos, pos };
    pos = skipBlanks(text, pos + 1);
    if (hasQuoteAt(text, pos, escapes)) {
        // A string: it ends at the first quote with no more backslashes before it than it opened with;
        // more of them escape a quote inside the value.
        const size_t begin = pos + escapes + 1;
        for (size_t at = begin; at < text.size(); ++at) {
            if (text[at] == '"' && backslashesBefore(text, at) <= escapes) {
                const size_t end = at - backslashesBefore(text, at);
                return { begin, end < begin ? begin : end };
            }
        }
        return { begin, text.size() };
    }
    size_t end = pos;
    while (end < text.size() && !std::strchr(",}]\"\\ \t\r\n", text[end]))
        ++end;
    return { pos, end };
}

} // namespace

std::string maskSecrets(std::string_view text)
{
    std::string masked;
    masked.reserve(text.size());
    size_t copied = 0; // text before this is in `masked`
    size_t at = 0;
    while ((at = text.find('"', at)) != std::string_view::npos) {
        const size_t escapes = backslashesBefore(text, at);
        const size_t nameBegin = at + 1;
        size_t next = nameBegin;
        for (std::string_view name : kSecretMembers) {
            // The name must stand in quotes of its own, both with the same escaping.
            if (!hasAt(text, nameBegin, name) || !hasQuoteAt(text, nameBegin + name.size(), escapes))
                continue;
            const auto [begin, end] = valueExtent(text, nameBegin + name.size() + escapes + 1, escapes);
            if (begin < end) {
                masked.append(text.substr(copied, begin - copied));
                masked.append(kMask);
                copied = end;
                next = end;
            }
            break;
        }
        at = next;
    }
    masked.append(text.substr(copied));
    return masked;
}
