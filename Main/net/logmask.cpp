#include "net/logmask.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace {

const char* const kSecretMembers[] = { "token", "meeting_token", "vip_token", "user_pwd", "password" };
const char kMask[] = "***";

size_t backslashesBefore(const std::string& text, size_t pos)
{
    size_t count = 0;
    while (pos > count && text[pos - count - 1] == '\\')
        ++count;
    return count;
}

size_t skipBlanks(const std::string& text, size_t pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    return pos;
}

// The extent [begin, end) of the value text to hide when a member's name ends at `pos` (just past its
// closing quote) and its quotes carry `escapes` backslashes; begin == end when there is nothing to hide.
std::pair<size_t, size_t> valueExtent(const std::string& text, size_t pos, size_t escapes)
{
    pos = skipBlanks(text, pos);
    if (pos >= text.size() || text[pos] != ':')
        return { pos, pos };
    pos = skipBlanks(text, pos + 1);
    const std::string openQuote = std::string(escapes, '\\') + '"';
    if (text.compare(pos, openQuote.size(), openQuote) == 0) {
        // A string: it ends at the first quote with exactly as many backslashes before it as it opened
        // with; more of them escape a quote inside the value.
        const size_t begin = pos + openQuote.size();
        for (size_t at = begin; at < text.size(); ++at) {
            if (text[at] == '"' && backslashesBefore(text, at) <= escapes)
                return { begin, at - escapes };
        }
        return { begin, text.size() };
    }
    size_t end = pos;
    while (end < text.size() && !std::strchr(",}]\"\\ \t\r\n", text[end]))
        ++end;
    return { pos, end };
}

} // namespace

std::string maskSecrets(const std::string& text)
{
    std::string masked = text;
    for (const char* name : kSecretMembers) {
        const size_t length = std::strlen(name);
        size_t from = 0;
        while ((from = masked.find(name, from)) != std::string::npos) {
            size_t next = from + length;
            // The name must stand in quotes of its own, both with the same escaping.
            if (from > 0 && masked[from - 1] == '"') {
                const size_t escapes = backslashesBefore(masked, from - 1);
                const std::string closeQuote = std::string(escapes, '\\') + '"';
                if (masked.compare(next, closeQuote.size(), closeQuote) == 0) {
                    const auto [begin, end] = valueExtent(masked, next + closeQuote.size(), escapes);
                    if (begin < end) {
                        masked.replace(begin, end - begin, kMask);
                        next = begin + std::strlen(kMask);
                    }
                }
            }
            from = next;
        }
    }
    return masked;
}
