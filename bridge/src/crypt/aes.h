#pragma once

#include <cstdint>

namespace bg {

// Expanded key and routine of one AES key set-up; the direction is fixed by `aes_key_setup`.
struct Aes_Context {
    uint32_t round_keys[60];
    uint32_t state[4];
    int rounds;
    void (*routine)(const Aes_Context& context, const unsigned char* in, unsigned char* out);
};

namespace aes {

    constexpr int kBlockSize = 16;
    constexpr int kBadKeyLength = 22;

    // 0, or kBadKeyLength (context untouched) unless `bits` is 128, 192 or 256. Builds the shared tables
    // once.
    int key_setup(Aes_Context& context, const unsigned char* key, int bits, bool decrypt);
    // Runs the context's direction: ECB over `blocks` blocks when `chain` is null, else CBC with `chain`
    // updated; `out` may equal `in`. A context without a key does nothing.
    void crypt_blocks(const Aes_Context& context, unsigned char* out, const unsigned char* in, int blocks,
        unsigned char* chain);

} // namespace aes

} // namespace bg
