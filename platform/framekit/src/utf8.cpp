// UTF-8 decoding of our own: the C library's mbstowcs depends on the process locale, which a Qt program
// may not have set to UTF-8.
#include <framekit/framekit.h>

#include <cstring>

namespace {

// Decodes one code point at `p` (with `left` bytes available); returns its length, 0 when invalid.
size_t decodeOne(const unsigned char* p, size_t left, char32_t& out)
{
    const unsigned char lead = p[0];
    size_t length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        out = lead;
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2, value = lead & 0x1f, minimum = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, value = lead & 0x0f, minimum = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (length > left)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xc0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3f);
    }
    if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;
    out = value;
    return length;
}

} // namespace

size_t fk_os_utf8_to_wcs(const char* str, size_t len, wchar_t* dst, size_t dst_size)
{
    static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 here");
    if (dst && dst_size)
        dst[0] = 0;
    if (!str)
        return 0;
    if (len == 0)
        len = std::strlen(str);

    const auto* p = reinterpret_cast<const unsigned char*>(str);
    size_t count = 0;
    for (size_t at = 0; at < len;) {
        char32_t value;
        const size_t used = decodeOne(p + at, len - at, value);
        if (!used) {
            if (dst && dst_size)
                dst[0] = 0;
            return 0;
        }
        if (dst) {
            if (count + 1 >= dst_size) {
                if (dst_size)
                    dst[0] = 0;
                return 0;
            }
            dst[count] = wchar_t(value);
        }
        ++count;
        at += used;
    }
    if (dst)
        dst[count] = 0;
    return count;
}
