#include "md5.h"

#include <cmath>
#include <cstring>

namespace bg::md5 {

namespace {

    struct Constants {
        uint32_t sine[64];
        Constants()
        {
            for (int i = 0; i < 64; ++i)
                sine[i] = uint32_t(std::floor(std::fabs(std::sin(double(i + 1))) * 4294967296.0));
        }
    };

    const Constants constants;

    constexpr int kShifts[4][4]
        = { { 7, 12, 17, 22 }, { 5, 9, 14, 20 }, { 4, 11, 16, 23 }, { 6, 10, 15, 21 } };

    inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

    inline uint32_t load(const unsigned char* p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }

    template <int Round> inline uint32_t mix(uint32_t b, uint32_t c, uint32_t d)
    {
        if constexpr (Round == 0)
            return (b & c) | (~b & d);
        else if constexpr (Round == 1)
            return (d & b) | (~d & c);
        else if constexpr (Round == 2)
            return b ^ c ^ d;
        else
            return c ^ (b | ~d);
    }

    template <int Round> inline int word_index(int i)
    {
        if constexpr (Round == 0)
            return i;
        else if constexpr (Round == 1)
            return (5 * i + 1) & 15;
        else if constexpr (Round == 2)
            return (3 * i + 5) & 15;
        else
            return (7 * i) & 15;
    }

    template <int Round>
    inline void run_round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* m)
    {
        for (int i = Round * 16; i < Round * 16 + 16; ++i) {
            uint32_t f = mix<Round>(b, c, d) + a + constants.sine[i] + m[word_index<Round>(i)];
            a = d;
            d = c;
            c = b;
            b += rotl(f, kShifts[Round][i & 3]);
        }
    }

} // namespace

Digest::Digest()
    : state_ { 0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476 }
{
}

void Digest::transform(const unsigned char block[64])
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = load(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    run_round<0>(a, b, c, d, m);
    run_round<1>(a, b, c, d, m);
    run_round<2>(a, b, c, d, m);
    run_round<3>(a, b, c, d, m);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Digest::update(const void* data, size_t length)
{
    auto in = static_cast<const unsigned char*>(data);
    length_ += length;
    if (used_ > 0) {
        size_t take = std::min(length, sizeof buffer_ - used_);
        std::memcpy(buffer_ + used_, in, take);
        used_ += take;
        in += take;
        length -= take;
        if (used_ < sizeof buffer_)
            return;
        transform(buffer_);
        used_ = 0;
    }
    for (; length >= 64; in += 64, length -= 64)
        transform(in);
    std::memcpy(buffer_, in, length);
    used_ = length;
}

void Digest::finish(unsigned char out[16])
{
    uint64_t bits = length_ * 8;
    unsigned char padding[72] = { 0x80 };
    size_t pad = (used_ < 56 ? 56 : 120) - used_;
    for (int i = 0; i < 8; ++i)
        padding[pad + i] = uint8_t(bits >> (8 * i));
    update(padding, pad + 8);
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 4; ++k)
            out[4 * i + k] = uint8_t(state_[i] >> (8 * k));
    }
}

} // namespace bg::md5
