// The one-line text form of bg::Value: write() and read().
#include <bridge/value.h>

#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <type_traits>

namespace bg {

namespace {

    constexpr char kVariant[] = "<variant>";
    constexpr size_t kVariantLen = sizeof kVariant - 1;
    constexpr char kNull[] = "<null>";
    constexpr size_t kMaxTagLength = 15;

    // printf into a string of exactly the needed size: long float forms (1e300 has over 300 digits) are kept
    // whole.
    std::string formatted(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    std::string formatted(const char* fmt, ...)
    {
        char small[64];
        va_list ap;
        va_start(ap, fmt);
        va_list again;
        va_copy(again, ap);
        const int n = vsnprintf(small, sizeof small, fmt, ap);
        va_end(ap);
        std::string out;
        if (n < 0) {
            va_end(again);
            return out;
        }
        if (static_cast<size_t>(n) < sizeof small) {
            out.assign(small, static_cast<size_t>(n));
        } else {
            out.resize(static_cast<size_t>(n));
            vsnprintf(&out[0], static_cast<size_t>(n) + 1, fmt, again);
        }
        va_end(again);
        return out;
    }

    // printf's and scanf's floating-point forms follow the locale's decimal point; the quick forms below
    // match them only where that is '.'.
    bool decimalPointIsDot()
    {
        const char* radix = nl_langinfo(RADIXCHAR);
        return radix && radix[0] == '.' && radix[1] == '\0';
    }

    // What formatted("<tag>%d"), "%u", "%lld" or "%llu" gives, without printf.
    template <typename T> std::string integerText(const char* tag, T value)
    {
        char buffer[32];
        const size_t tagLen = strlen(tag);
        memcpy(buffer, tag, tagLen);
        const std::to_chars_result r = std::to_chars(buffer + tagLen, buffer + sizeof buffer, value);
        return std::string(buffer, r.ptr);
    }

    // What formatted("<tag>%f", value) gives.
    std::string fixedText(const char* tag, double value)
    {
        if (!decimalPointIsDot())
            return formatted(tag[1] == 'f' ? "[f]%f" : "[d]%lf", value);
        char buffer[400]; // the longest "%f" of a double: 309 digits, the point and 6 decimals, a sign
        const size_t tagLen = strlen(tag);
        memcpy(buffer, tag, tagLen);
        const std::to_chars_result r
            = std::to_chars(buffer + tagLen, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
        return std::string(buffer, r.ptr);
    }

    // The number scanf would read at the start of [begin, end), for the plain forms write() makes: digits
    // with an optional '-', and for floating point a decimal form. False for anything else (leading blanks,
    // '+', hexadecimal, a value out of range, another decimal point), which is left to scanf.
    template <typename T> bool quickNumber(const char* begin, const char* end, T* out)
    {
        if (begin >= end)
            return false;
        if constexpr (std::is_floating_point_v<T>) {
            const char* digits = begin + (*begin == '-' ? 1 : 0);
            if (end - digits >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
                return false;
            if (!decimalPointIsDot())
                return false;
        }
        T value {};
        const std::from_chars_result r = std::from_chars(begin, end, value);
        if (r.ec != std::errc())
            return false;
        *out = value;
        return true;
    }

    void appendCounted(std::string& out, const char* tag, const char* text, int len)
    {
        const int n = text && len > 0 ? len : 0;
        out += tag;
        out += std::to_string(n);
        out += ']';
        if (n > 0)
            out.append(text, static_cast<size_t>(n));
    }

    bool startsWith(const char* begin, const char* end, const char* word, size_t wordLen)
    {
        return static_cast<size_t>(end - begin) >= wordLen && memcmp(begin, word, wordLen) == 0;
    }

    const char* findByte(const char* begin, const char* end, char c)
    {
        return begin < end ? static_cast<const char*>(memchr(begin, c, static_cast<size_t>(end - begin)))
                           : nullptr;
    }

    // Runs sscanf over the number at the start of [begin, end). The scan never reaches past the next backtick
    // (no conversion accepts one), so only that much is copied: a scan over the whole remaining container
    // text would make reading a container quadratic.
    int scanNumber(const char* begin, const char* end, const char* fmt, ...)
        __attribute__((format(scanf, 3, 4)));
    int scanNumber(const char* begin, const char* end, const char* fmt, ...)
    {
        const char* stop = findByte(begin, end, '`');
        const size_t len = static_cast<size_t>((stop ? stop : end) - begin);
        char small[128];
        std::string large;
        const char* src = small;
        if (len < sizeof small) {
            memcpy(small, begin, len);
            small[len] = '\0';
        } else {
            large.assign(begin, len);
            src = large.c_str();
        }
        va_list ap;
        va_start(ap, fmt);
        const int r = vsscanf(src, fmt, ap);
        va_end(ap);
        return r;
    }

    // The optional ":n" after a tag word. Returns false for a negative length; `hasLen` tells whether one was
    // given.
    bool tagLength(const char* tag, size_t wordLen, bool* hasLen, int* len)
    {
        *hasLen = false;
        if (tag[wordLen] != ':')
            return true;
        if (sscanf(tag + wordLen + 1, "%d", len) != 1) {
            fprintf(stderr, "> bg::Value:read() err: type='%s', missing 'len'.\n", tag);
            return true;
        }
        if (*len < 0)
            return false;
        *hasLen = true;
        return true;
    }

    int clampedLength(bool hasLen, int len, const char* begin, const char* end)
    {
        const long long left = end - begin;
        return static_cast<int>(hasLen && len < left ? len : left);
    }

} // namespace

std::string Value::write() const
{
    std::string out;
    switch (m_type) {
    case VT_INT:
        return integerText("[i]", toInt());
    case VT_UINT:
        return integerText("[u]", toUInt());
    case VT_FLOAT:
        return fixedText("[f]", static_cast<double>(toFloat()));
    case VT_DOUBLE:
        return fixedText("[d]", toDouble());
    case VT_VOID:
        return formatted("[v]%p", toVoid());
    case VT_INT64:
        return integerText("[lld]", toInt64());
    case VT_UINT64:
        return integerText("[llu]", toUInt64());
    case VT_BOOL:
        return toBool() ? "[b]true" : "[b]false";
    case VT_STRING:
        appendCounted(out, "[str:", m_text, m_len);
        return out;
    case VT_LIST:
        appendCounted(out, "[list:", m_text, m_len);
        return out;
    case VT_MAP:
        appendCounted(out, "[map:", m_text, m_len);
        return out;
    case VT_PTR:
        return formatted(
            "[ptr]%llu,%d", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(m_text)), m_len);
    case VT_ERROR:
        out = formatted("[err:%d]%d,", m_text && m_len > 0 ? m_len : 0, toInt());
        if (m_text && m_len > 0)
            out.append(m_text, static_cast<size_t>(m_len));
        return out;
    default:
        if (!m_text)
            return kNull;
        out = kVariant;
        if (m_len > 0)
            out.append(m_text, static_cast<size_t>(m_len));
        return out;
    }
}

bool Value::read(const char* text)
{
    if (!text) {
        free_data();
        zero();
        return false;
    }
    return parse(text, text + strlen(text), false, nullptr);
}

bool Value::parse(const char* begin, const char* end, bool element, const char** next)
{
    free_data();
    zero();
    if (next)
        *next = nullptr;
    const char* backtick = element ? findByte(begin, end, '`') : nullptr;
    // Where an element without counted text ends: just after the next backtick.
    const char* afterBacktick = backtick ? backtick + 1 : nullptr;

    if (end - begin < 4)
        return false;
    if (startsWith(begin, end, kVariant, kVariantLen)) {
        // Inside a container the variant text has no length of its own; it runs to the next backtick.
        const char* textEnd = element && backtick ? backtick : end;
        const char* textBegin = begin + kVariantLen < textEnd ? begin + kVariantLen : textEnd;
        set_text(textBegin, static_cast<int>(textEnd - textBegin));
        if (next)
            *next = afterBacktick;
        return true;
    }
    if (startsWith(begin, end, kNull, sizeof kNull - 1)) {
        // A null element of a list or map (a map entry made by operator[] and never assigned) is kept, so
        // that the elements after it are not lost; on its own "<null>" does not read.
        if (element && next)
            *next = afterBacktick;
        return element;
    }
    // Every other form is "[tag]payload": the tag is read only after its opening bracket.
    if (*begin != '[')
        return false;
    const char* bracket = findByte(begin, end, ']');
    if (!bracket)
        return false;
    const size_t tagLen = static_cast<size_t>(bracket - begin - 1);
    if (tagLen > kMaxTagLength)
        return false;
    char tag[kMaxTagLength + 1];
    memcpy(tag, begin + 1, tagLen);
    tag[tagLen] = '\0';
    const char* payload = bracket + 1;
    if (next)
        *next = afterBacktick;

    if (tagLen == 1) {
        int iv = 0;
        unsigned int uv = 0;
        float fv = 0;
        double dv = 0;
        void* pv = nullptr;
        switch (tag[0]) {
        case 'b':
            m_type = VT_BOOL;
            setb(startsWith(payload, end, "true", 4));
            break;
        case 'd':
            if (quickNumber(payload, end, &dv) || scanNumber(payload, end, "%lf", &dv) == 1) {
                m_type = VT_DOUBLE;
                setd(dv);
            }
            break;
        case 'f':
            if (quickNumber(payload, end, &fv) || scanNumber(payload, end, "%f", &fv) == 1) {
                m_type = VT_FLOAT;
                setf(fv);
            }
            break;
        case 'i':
            if (quickNumber(payload, end, &iv) || scanNumber(payload, end, "%d", &iv) == 1) {
                m_type = VT_INT;
                seti(iv);
            }
            break;
        case 'u':
            if (quickNumber(payload, end, &uv) || scanNumber(payload, end, "%u", &uv) == 1) {
                m_type = VT_UINT;
                setu(uv);
            }
            break;
        case 'v':
            if (scanNumber(payload, end, "%p", &pv) == 1) {
                m_type = VT_VOID;
                setv(pv);
            }
            break;
        default:
            break;
        }
        return m_type != VT_NULL;
    }

    if (strcmp(tag, "lld") == 0 || strcmp(tag, "llu") == 0) {
        long long sv = 0;
        unsigned long long lv = 0;
        if (tag[2] == 'd' && (quickNumber(payload, end, &sv) || scanNumber(payload, end, "%lld", &sv) == 1)) {
            m_type = VT_INT64;
            seti64(sv);
        } else if (tag[2] == 'u'
            && (quickNumber(payload, end, &lv) || scanNumber(payload, end, "%llu", &lv) == 1)) {
            m_type = VT_UINT64;
            setu64(lv);
        }
        return m_type != VT_NULL;
    }

    static const struct {
        const char* word;
        VT type;
    } counted[] = { { "list", VT_LIST }, { "str", VT_STRING }, { "map", VT_MAP } };
    for (const auto& c : counted) {
        const size_t wordLen = strlen(c.word);
        if (strncmp(tag, c.word, wordLen) != 0)
            continue;
        bool hasLen = false;
        int len = 0;
        if (!tagLength(tag, wordLen, &hasLen, &len))
            return false;
        set_text(payload, clampedLength(hasLen, len, payload, end));
        m_type = c.type;
        if (next && m_len > 0)
            *next = payload + m_len + 1 < end ? payload + m_len + 1 : nullptr;
        return true;
    }

    if (strncmp(tag, "err", 3) == 0) {
        bool hasLen = false;
        int len = 0;
        if (!tagLength(tag, 3, &hasLen, &len))
            return false;
        int id = 0;
        if (scanNumber(payload, end, "%d", &id) != 1)
            id = 0;
        m_type = VT_ERROR;
        seti(id);
        // The id never holds a backtick, so inside a container the comma belongs to this element only when
        // it comes before the next backtick.
        const char* comma = findByte(payload, element && backtick ? backtick : end, ',');
        if (comma) {
            const char* msg = comma + 1;
            const char* msgEnd = element && !hasLen && backtick ? backtick : end;
            const int msgLen = clampedLength(hasLen, len, msg, msgEnd);
            if (msgLen > 0)
                set_text(msg, msgLen);
            if (next && msgLen > 0)
                *next = msg + msgLen + 1 < end ? msg + msgLen + 1 : nullptr;
        }
        return true;
    }

    if (strcmp(tag, "ptr") == 0) {
        unsigned long long address = 0;
        int len = 0;
        if (scanNumber(payload, end, "%llu,%d", &address, &len) == 2 && len >= 0)
            ref(reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(address)), len);
        return m_type != VT_NULL;
    }
    return false;
}

} // namespace bg
