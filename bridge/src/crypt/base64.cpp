#include "base64.h"

#include <cstdint>

namespace bg::base64 {

namespace {

    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    constexpr uint8_t kEnd = 0xFE;
    constexpr uint8_t kBad = 0xFF;

    struct DecodeTable {
        uint8_t value[256];
        constexpr DecodeTable()
            : value {}
        {
            for (int i = 0; i < 256; ++i)
                value[i] = kBad;
            for (int i = 0; i < 64; ++i)
                value[uint8_t(kAlphabet[i])] = uint8_t(i);
            value[0] = kEnd;
            value[uint8_t('=')] = kEnd;
        }
    };

    constexpr DecodeTable kDecode;

} // namespace

void encode(char* out, const unsigned char* in, size_t length)
{
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t group = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        *out++ = kAlphabet[group >> 18];
        *out++ = kAlphabet[(group >> 12) & 63];
        *out++ = kAlphabet[(group >> 6) & 63];
        *out++ = kAlphabet[group & 63];
    }
    if (size_t rest = length - i) {
        uint32_t group = (uint32_t(in[i]) << 16) | (rest == 2 ? uint32_t(in[i + 1]) << 8 : 0);
        *out++ = kAlphabet[group >> 18];
        *out++ = kAlphabet[(group >> 12) & 63];
        *out++ = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        *out++ = '=';
    }
    *out = '\0';
}

long decode(unsigned char* out, size_t capacity, const char* text, size_t length)
{
    if (!out)
        capacity = 0;
    size_t written = 0;
    size_t i = 0;
    // Whole groups of plain alphabet characters with room for their bytes; anything else takes the careful
    // path below.
    for (; text && i + 4 <= length && written + 3 <= capacity; i += 4) {
        const uint8_t* t = reinterpret_cast<const uint8_t*>(text + i);
        uint8_t a = kDecode.value[t[0]], b = kDecode.value[t[1]], c = kDecode.value[t[2]],
                d = kDecode.value[t[3]];
        if ((a | b | c | d) & 0xC0)
            break;
        uint32_t group = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | d;
        out[written] = uint8_t(group >> 16);
        out[written + 1] = uint8_t(group >> 8);
        out[written + 2] = uint8_t(group);
        written += 3;
    }
    uint32_t group = 0;
    int count = 0;
    for (; text && i < length; ++i) {
        uint8_t v = kDecode.value[uint8_t(text[i])];
        if (v == kEnd)
            break;
        if (v == kBad)
            return -1;
        group = (group << 6) | v;
        if (++count == 4) {
            for (int k = 2; k >= 0 && written < capacity; --k)
                out[written++] = uint8_t(group >> (8 * k));
            group = 0;
            count = 0;
        }
    }
    // A last group of 2 or 3 characters carries 1 or 2 bytes.
    if (count >= 2) {
        group <<= 6 * (4 - count);
        for (int k = 2; k > 3 - count && written < capacity; --k)
            out[written++] = uint8_t(group >> (8 * k));
    }
    return long(written);
}

} // namespace bg::base64
