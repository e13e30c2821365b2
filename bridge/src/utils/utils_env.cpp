#include <bridge/bridge_init.h>
#include <bridge/utils.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace bg {

namespace {

    constexpr char32_t kReplacement = 0xFFFD;

    void append_utf8(std::string& out, char32_t c)
    {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = kReplacement;
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }

    // Decodes one UTF-8 sequence at `s`; malformed, overlong or truncated input yields U+FFFD for one byte.
    char32_t next_code_point(const unsigned char*& s)
    {
        unsigned char lead = *s++;
        if (lead < 0x80)
            return lead;
        int extra = lead >= 0xF0 && lead <= 0xF4 ? 3
            : lead >= 0xE0                       ? 2
            : lead >= 0xC2 && lead < 0xE0        ? 1
                                                 : -1;
        if (extra < 0)
            return kReplacement;
        char32_t c = lead & (0x3F >> extra);
        const unsigned char* p = s;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return kReplacement;
            c = (c << 6) | (*p & 0x3F);
        }
        static constexpr char32_t kMinimum[] = { 0, 0x80, 0x800, 0x10000 };
        if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return kReplacement;
        s = p;
        return c;
    }

    bool valid_env_name(const char* name) { return name && *name && !std::strchr(name, '='); }

} // namespace

// The system's narrow code page is UTF-8 here, so the ANSI conversions keep the bytes as they are.
std::string Utils::ansi_to_utf8(const std::string& text) { return text; }

std::string Utils::utf8_to_ansi(const std::string& text) { return text; }

std::string Utils::from_wide(const wchar_t* text, bool)
{
    std::string out;
    for (const wchar_t* c = text; c && *c; ++c)
        append_utf8(out, char32_t(*c));
    return out;
}

std::wstring Utils::to_wide(const char* text, bool)
{
    std::wstring out;
    if (!text)
        return out;
    for (auto s = reinterpret_cast<const unsigned char*>(text); *s;)
        out.push_back(wchar_t(next_code_point(s)));
    return out;
}

int Utils::set_env(const char* name, const char* value, int)
{
    if (!valid_env_name(name))
        return -1;
    // As with the system's own "NAME=" form, an empty value removes the variable.
    int result = value && *value ? setenv(name, value, 1) : unsetenv(name);
    return result == 0 ? 0 : -1;
}

const char* Utils::get_env(const char* name) { return valid_env_name(name) ? std::getenv(name) : nullptr; }

// The same form as the start-up's own hand-over of CD: the address with the process id, so that a
// value inherited from another process reads as absent.
int Utils::set_env_ptr(const char* name, const void* pointer) { return SetEnvPtr(name, const_cast<void*>(pointer)); }

void Utils::get_env_ptr(const char* name, void** pointer) { GetEnvPtr(name, pointer); }

uint32_t Utils::thread_id() { return uint32_t(gettid()); }

} // namespace bg
