#include <bridge/utils.h>

#include <cstdarg>
#include <cstring>
#include <random>

namespace bg {

namespace {

    constexpr const char* kBlanks = " \t\r\n";
    // Upper bound on replacements in `replace_repeat` for rules that do not shorten the text: those are not
    // sure to reach a fixed point. A shortening rule always does.
    constexpr size_t kMaxRepeatSteps = 1u << 20;

    inline const char* safe(const char* text) { return text ? text : ""; }

    bool in_set(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

    char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
    char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

    bool same_chars(const char* a, const char* b, size_t n, bool case_sensitive)
    {
        if (case_sensitive)
            return std::memcmp(a, b, n) == 0;
        for (size_t i = 0; i < n; ++i) {
            if (ascii_lower(a[i]) != ascii_lower(b[i]))
                return false;
        }
        return true;
    }

    // Cuts trailing characters of `set`, scanning down to the second character: the first is left for the
    // skip step of the callers.
    char* cut_right(char* text, const char* set)
    {
        if (!text || !*text || !*set)
            return text;
        for (size_t i = std::strlen(text) - 1; i > 0 && in_set(text[i], set); --i)
            text[i] = '\0';
        return text;
    }

    const char* skip_set(const char* text, const char* set)
    {
        if (!text)
            return text;
        while (in_set(*text, set))
            ++text;
        return text;
    }

    std::string trim_copy(const std::string& text, const char* set)
    {
        if (text.empty() || !*set)
            return text;
        std::string copy = text;
        const char* start = skip_set(cut_right(copy.data(), set), set);
        return std::string(start);
    }

} // namespace

const char* Utils::skip_space(const char* text) { return skip_set(text, kBlanks); }

char* Utils::skip_space(char* text) { return const_cast<char*>(skip_set(text, kBlanks)); }

char* Utils::trim_right(char* text) { return cut_right(text, kBlanks); }

std::string Utils::trim(const std::string& text) { return trim_copy(text, kBlanks); }

char* Utils::trim_c(char* text) { return skip_space(trim_right(text)); }

const char* Utils::skip_chars(const char* text, const char* set) { return skip_set(text, safe(set)); }

char* Utils::trim_right_chars(char* text, const char* set) { return cut_right(text, safe(set)); }

std::string Utils::trim_chars(const std::string& text, const char* set) { return trim_copy(text, safe(set)); }

char* Utils::trim_chars_c(char* text, const char* set)
{
    return const_cast<char*>(skip_chars(trim_right_chars(text, set), set));
}

std::string Utils::replace_all(const char* text, const char* from, const char* to)
{
    std::string result = safe(text);
    const std::string search = safe(from), replacement = safe(to);
    if (search.empty())
        return result;
    for (size_t at = result.find(search); at != std::string::npos;
         at = result.find(search, at + replacement.size()))
        result.replace(at, search.size(), replacement);
    return result;
}

std::string Utils::replace_repeat(const char* text, const char* from, const char* to)
{
    const std::string search = safe(from), replacement = safe(to);
    if (search.empty() || replacement.find(search) != std::string::npos)
        return replace_all(text, from, to);
    std::string result = safe(text);
    // Searching again from the start finds nothing before `at - search.size() + 1`: the text before the last
    // replacement held no occurrence, so only one overlapping the inserted text can be new.
    size_t at = result.find(search);
    const bool shortens = replacement.size() < search.size();
    for (size_t steps = 0; at != std::string::npos && (shortens || steps < kMaxRepeatSteps); ++steps) {
        result.replace(at, search.size(), replacement);
        at = result.find(search, at >= search.size() ? at - search.size() + 1 : 0);
    }
    return result;
}

bool Utils::starts_with(const char* text, const char* prefix, bool case_sensitive)
{
    if (!text || !prefix)
        return false;
    size_t n = std::strlen(prefix);
    return std::strlen(text) >= n && same_chars(text, prefix, n, case_sensitive);
}

bool Utils::ends_with(const char* text, const char* suffix, bool case_sensitive)
{
    if (!text || !suffix)
        return false;
    size_t length = std::strlen(text), n = std::strlen(suffix);
    return length >= n && same_chars(text + length - n, suffix, n, case_sensitive);
}

std::string Utils::format(const char* format, ...)
{
    if (!format)
        return std::string();
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string result;
    if (length > 0) {
        result.resize(size_t(length));
        std::vsnprintf(result.data(), size_t(length) + 1, format, args);
    }
    va_end(args);
    return result;
}

std::vector<std::string> Utils::split(const std::string& text, const char* delimiters, bool keep_empty)
{
    std::vector<std::string> parts;
    if (!delimiters || !*delimiters) {
        parts.push_back(text);
        return parts;
    }
    size_t start = text.find_first_not_of(delimiters);
    while (start != std::string::npos) {
        size_t end = text.find_first_of(delimiters, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        size_t next = text.find_first_not_of(delimiters, end);
        if (next == std::string::npos)
            break; // delimiters after the last token yield nothing
        if (keep_empty)
            parts.insert(parts.end(), next - end - 1, std::string());
        start = next;
    }
    return parts;
}

std::string Utils::to_lower(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        c = ascii_lower(c);
    return result;
}

char* Utils::to_lower_c(char* text)
{
    for (char* c = text; c && *c; ++c)
        *c = ascii_lower(*c);
    return text;
}

std::string Utils::to_upper(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        c = ascii_upper(c);
    return result;
}

char* Utils::to_upper_c(char* text)
{
    for (char* c = text; c && *c; ++c)
        *c = ascii_upper(*c);
    return text;
}

std::string Utils::random_string(int length)
{
    static constexpr char kAlphabet[] = "1234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // A generator of our own per thread: the process's rand() sequence is left alone.
    thread_local std::mt19937 generator { std::random_device {}() };
    std::uniform_int_distribution<int> pick(0, int(sizeof kAlphabet) - 2);
    std::string result;
    for (int i = 0; i < length; ++i)
        result.push_back(kAlphabet[pick(generator)]);
    return result;
}

const char* Utils::tail(const char* text, int count)
{
    if (!text || count < 0)
        return text;
    size_t length = std::strlen(text);
    return length > size_t(count) ? text + length - size_t(count) : text;
}

} // namespace bg
