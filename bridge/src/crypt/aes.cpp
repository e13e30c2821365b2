#include "aes.h"

#include <cstring>
#include <mutex>

namespace bg::aes {

namespace {

    // Round constants of the key schedule.
    constexpr uint32_t kRoundConstants[10] = { 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36 };

    // S-boxes and round tables, built from GF(2^8) arithmetic at the first key set-up. Words are
    // little-endian: byte 0 of a word is row 0 of a state column.
    struct Tables {
        uint8_t sbox[256];
        uint8_t inverse_sbox[256];
        uint32_t forward[4][256];
        uint32_t reverse[4][256];
    };

    Tables tables;
    std::once_flag tables_built;

    inline uint32_t rotl8(uint32_t w) { return (w << 8) | (w >> 24); }
    inline uint8_t rotl8_byte(uint8_t b, int n) { return uint8_t((b << n) | (b >> (8 - n))); }

    void build_tables()
    {
        uint8_t power[256], log[256] = {};
        for (int i = 0, x = 1; i < 256; ++i) {
            power[i] = uint8_t(x);
            log[x] = uint8_t(i);
            x ^= (x << 1) ^ ((x & 0x80) ? 0x11B : 0); // multiply by the generator 3
            x &= 0xFF;
        }
        auto mul = [&](int a, int b) -> uint32_t { return a && b ? power[(log[a] + log[b]) % 255] : 0; };
        for (int i = 0; i < 256; ++i) {
            uint8_t inverse = i ? power[255 - log[i]] : 0;
            uint8_t s = inverse ^ rotl8_byte(inverse, 1) ^ rotl8_byte(inverse, 2) ^ rotl8_byte(inverse, 3)
                ^ rotl8_byte(inverse, 4) ^ 0x63;
            tables.sbox[i] = s;
            tables.inverse_sbox[s] = uint8_t(i);
        }
        for (int i = 0; i < 256; ++i) {
            int s = tables.sbox[i];
            uint32_t word = mul(2, s) | (uint32_t(s) << 8) | (uint32_t(s) << 16) | (mul(3, s) << 24);
            int r = tables.inverse_sbox[i];
            uint32_t inverse_word
                = mul(0x0E, r) | (mul(0x09, r) << 8) | (mul(0x0D, r) << 16) | (mul(0x0B, r) << 24);
            for (int t = 0; t < 4; ++t) {
                tables.forward[t][i] = word;
                tables.reverse[t][i] = inverse_word;
                word = rotl8(word);
                inverse_word = rotl8(inverse_word);
            }
        }
    }

    inline uint32_t load(const unsigned char* p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }

    inline void store(unsigned char* p, uint32_t w)
    {
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
        p[2] = uint8_t(w >> 16);
        p[3] = uint8_t(w >> 24);
    }

    inline uint32_t sub_word(uint32_t w)
    {
        const uint8_t* s = tables.sbox;
        return s[w & 0xFF] | (uint32_t(s[(w >> 8) & 0xFF]) << 8) | (uint32_t(s[(w >> 16) & 0xFF]) << 16)
            | (uint32_t(s[w >> 24]) << 24);
    }

    inline uint32_t inverse_mix_column(uint32_t w)
    {
        // The decryption tables hold InvMixColumns of an inverse S-box output; feeding them S-box outputs
        // cancels the substitution.
        const uint8_t* s = tables.sbox;
        return tables.reverse[0][s[w & 0xFF]] ^ tables.reverse[1][s[(w >> 8) & 0xFF]]
            ^ tables.reverse[2][s[(w >> 16) & 0xFF]] ^ tables.reverse[3][s[w >> 24]];
    }

    void expand_key(uint32_t* w, const unsigned char* key, int nk, int rounds)
    {
        for (int i = 0; i < nk; ++i)
            w[i] = load(key + 4 * i);
        for (int i = nk; i < 4 * (rounds + 1); ++i) {
            uint32_t t = w[i - 1];
            if (i % nk == 0)
                t = sub_word((t >> 8) | (t << 24)) ^ kRoundConstants[i / nk - 1];
            else if (nk > 6 && i % nk == 4)
                t = sub_word(t);
            w[i] = w[i - nk] ^ t;
        }
    }

    // Equivalent inverse cipher: the round keys in reverse order, all but the outer two through
    // InvMixColumns.
    void invert_schedule(uint32_t* keys, const uint32_t* forward, int rounds)
    {
        for (int r = 0; r <= rounds; ++r) {
            const uint32_t* source = forward + 4 * (rounds - r);
            for (int c = 0; c < 4; ++c)
                keys[4 * r + c] = (r == 0 || r == rounds) ? source[c] : inverse_mix_column(source[c]);
        }
    }

#define BG_AES_COLUMN(T, rk, a, b, c, d)                                                                     \
    ((rk) ^ T[0][(a)&0xFF] ^ T[1][((b) >> 8) & 0xFF] ^ T[2][((c) >> 16) & 0xFF] ^ T[3][(d) >> 24])
#define BG_AES_LAST(S, rk, a, b, c, d)                                                                       \
    ((rk) ^ uint32_t(S[(a)&0xFF]) ^ (uint32_t(S[((b) >> 8) & 0xFF]) << 8)                                    \
        ^ (uint32_t(S[((c) >> 16) & 0xFF]) << 16) ^ (uint32_t(S[(d) >> 24]) << 24))

    void encrypt_block(const Aes_Context& context, const unsigned char* in, unsigned char* out)
    {
        const uint32_t* rk = context.round_keys;
        const auto& T = tables.forward;
        uint32_t x0 = load(in) ^ rk[0], x1 = load(in + 4) ^ rk[1], x2 = load(in + 8) ^ rk[2],
                 x3 = load(in + 12) ^ rk[3];
        for (int r = 1; r < context.rounds; ++r) {
            rk += 4;
            uint32_t y0 = BG_AES_COLUMN(T, rk[0], x0, x1, x2, x3);
            uint32_t y1 = BG_AES_COLUMN(T, rk[1], x1, x2, x3, x0);
            uint32_t y2 = BG_AES_COLUMN(T, rk[2], x2, x3, x0, x1);
            uint32_t y3 = BG_AES_COLUMN(T, rk[3], x3, x0, x1, x2);
            x0 = y0, x1 = y1, x2 = y2, x3 = y3;
        }
        rk += 4;
        const uint8_t* S = tables.sbox;
        store(out, BG_AES_LAST(S, rk[0], x0, x1, x2, x3));
        store(out + 4, BG_AES_LAST(S, rk[1], x1, x2, x3, x0));
        store(out + 8, BG_AES_LAST(S, rk[2], x2, x3, x0, x1));
        store(out + 12, BG_AES_LAST(S, rk[3], x3, x0, x1, x2));
    }

    void decrypt_block(const Aes_Context& context, const unsigned char* in, unsigned char* out)
    {
        const uint32_t* rk = context.round_keys;
        const auto& T = tables.reverse;
        uint32_t x0 = load(in) ^ rk[0], x1 = load(in + 4) ^ rk[1], x2 = load(in + 8) ^ rk[2],
                 x3 = load(in + 12) ^ rk[3];
        for (int r = 1; r < context.rounds; ++r) {
            rk += 4;
            uint32_t y0 = BG_AES_COLUMN(T, rk[0], x0, x3, x2, x1);
            uint32_t y1 = BG_AES_COLUMN(T, rk[1], x1, x0, x3, x2);
            uint32_t y2 = BG_AES_COLUMN(T, rk[2], x2, x1, x0, x3);
            uint32_t y3 = BG_AES_COLUMN(T, rk[3], x3, x2, x1, x0);
            x0 = y0, x1 = y1, x2 = y2, x3 = y3;
        }
        rk += 4;
        const uint8_t* S = tables.inverse_sbox;
        store(out, BG_AES_LAST(S, rk[0], x0, x3, x2, x1));
        store(out + 4, BG_AES_LAST(S, rk[1], x1, x0, x3, x2));
        store(out + 8, BG_AES_LAST(S, rk[2], x2, x1, x0, x3));
        store(out + 12, BG_AES_LAST(S, rk[3], x3, x2, x1, x0));
    }

#undef BG_AES_COLUMN
#undef BG_AES_LAST

} // namespace

int key_setup(Aes_Context& context, const unsigned char* key, int bits, bool decrypt)
{
    std::call_once(tables_built, build_tables);
    if (bits != 128 && bits != 192 && bits != 256)
        return kBadKeyLength;
    int nk = bits / 32;
    int rounds = nk + 6;
    uint32_t forward[60];
    expand_key(forward, key, nk, rounds);
    if (decrypt)
        invert_schedule(context.round_keys, forward, rounds);
    else
        std::memcpy(context.round_keys, forward, sizeof forward);
    context.rounds = rounds;
    context.routine = decrypt ? decrypt_block : encrypt_block;
    return 0;
}

void crypt_blocks(
    const Aes_Context& context, unsigned char* out, const unsigned char* in, int blocks, unsigned char* chain)
{
    if (!context.routine)
        return;
    const bool decrypt = context.routine == decrypt_block;
    for (int b = 0; b < blocks; ++b, in += kBlockSize, out += kBlockSize) {
        if (!chain) {
            context.routine(context, in, out);
        } else if (!decrypt) {
            unsigned char block[kBlockSize];
            for (int i = 0; i < kBlockSize; ++i)
                block[i] = in[i] ^ chain[i];
            context.routine(context, block, out);
            std::memcpy(chain, out, kBlockSize);
        } else {
            unsigned char cipher[kBlockSize];
            std::memcpy(cipher, in, kBlockSize); // `out` may overwrite `in`
            context.routine(context, cipher, out);
            for (int i = 0; i < kBlockSize; ++i)
                out[i] ^= chain[i];
            std::memcpy(chain, cipher, kBlockSize);
        }
    }
}

} // namespace bg::aes
