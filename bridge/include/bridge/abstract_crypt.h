#pragma once

#include <bridge/abstract_base.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bg {

class Value;
struct Aes_Context;

// The framework's cryptography and encoding service: AES-128/192/256 (ECB and CBC block routines, PKCS#7
// text operations with base64), base64, MD5 as hex text, hex, a keyed byte scrambler and 16-bit unit
// conversions. Programs and plug-ins call a component's instance through its pointer, so the order of the
// virtual functions below is part of the interface between the deliverables: append, never reorder.
//
// Exact outputs bind peers: cipher texts are AES-ECB with PKCS#7 padding in standard padded base64; digests
// and hex are lower case. Buffers returned as plain pointers come from malloc and are released with
// `free_buffer`. Nothing throws; failures show in the results documented per function.
// Instances hold no mutable state and may be used from any thread; an `Aes_Context` belongs to one thread at
// a time.
class BG_API Abstract_Crypt : public Abstract_Base {
public:
    ~Abstract_Crypt() override;

    virtual Aes_Context* aes_new() = 0;
    virtual void aes_free(Aes_Context** context) = 0;
    // `bits` 128, 192 or 256, else 22 and the context is untouched; `direction` 0 encrypts, else decrypts.
    virtual int aes_set_key(Aes_Context* context, const unsigned char* key, int bits, int direction) = 0;
    // Runs the context's direction over `blocks` 16-byte blocks (`out` may equal `in`); ECB with a null
    // `chain`, else CBC with `chain` as the running chaining block. `unused` has no effect.
    virtual int aes_crypt_blocks(Aes_Context* context, unsigned char* out, const unsigned char* in,
        int blocks, unsigned char* chain, int unused)
        = 0;
    // AES-ECB with PKCS#7 padding, as base64. The key is 16, 24 or 32 bytes used as they are. On failure the
    // result is empty, `*ok` (when given) false and one line goes to the standard error stream.
    virtual std::string aes_encrypt(const std::string& text, const std::string& key, bool* ok = nullptr) = 0;
    // Inverse of `aes_encrypt`; bad base64, a length that is not a positive multiple of 16 or a bad padding
    // (a wrong key, a damaged text) fail as above.
    virtual std::string aes_decrypt(const std::string& text, const std::string& key, bool* ok = nullptr) = 0;
    // The value's text form, scrambled with the low 8 bits of `key`, as a base64 string value; a null value
    // is returned as it is.
    virtual Value encode_value(const Value& value, int key) = 0;
    // Inverse of `encode_value`: a null value when the text does not decode.
    virtual Value decode_value(const Value& value, int key) = 0;
    virtual int base64_decode_len(int chars) = 0; // chars * 3 / 4
    virtual int base64_encode_len(int bytes) = 0; // ((bytes + 2) / 3) * 4 + 1, terminator included
    virtual std::string base64_decode(const std::string& text) = 0; // empty on a bad character
    // Decodes the zero-terminated `text` up to '=' or its end, writing at most `capacity` bytes; the bytes
    // written, or -1 for a character outside the alphabet (whitespace included).
    virtual int base64_decode_buf(unsigned char* out, const char* text, int capacity) = 0;
    virtual std::string base64_encode(const std::string& bytes) = 0;
    // Zero-terminated base64 of `in` into `out`; null (nothing written) when `capacity` is below
    // `base64_encode_len(length)` or `length` is 2^30 - 1 or more.
    virtual char* base64_encode_buf(char* out, int capacity, const unsigned char* in, int length) = 0;
    virtual char* md5(const void* data, unsigned length) = 0;
    virtual char* md5_str(const char* text) = 0;
    virtual char* md5_masked(const char* text) = 0; // every digest byte ANDed with 0xFC
    virtual char* md5_file(const char* path) = 0; // null when the file cannot be opened
    virtual void md5_short(char* digest) = 0; // keeps the 16 middle digits of a 32-digit text
    virtual void free_buffer(void* buffer) = 0;
    virtual void scramble(unsigned char* data, unsigned length, uint8_t key) = 0;
    virtual void unscramble(unsigned char* data, unsigned length, uint8_t key) = 0;
    // Lower-case hex of `in`. With a null `out`, the room needed (2n + 1); otherwise `out` is zeroed and as
    // many whole bytes as fit in `capacity` are written; the result is the characters written.
    virtual int hex_encode(const unsigned char* in, int length, char* out, int capacity) = 0;
    // Reads `text` two digits at a time (a non-hex pair gives 0). With a null `out`, the room needed
    // ((n + 1) / 2 + 1); otherwise `out` is zeroed and at most `capacity` bytes are stored; the result is the
    // bytes stored.
    virtual int hex_decode(const char* text, int length, unsigned char* out, int capacity) = 0;
    virtual std::vector<uint16_t> to_units(const std::string& bytes) = 0; // bytes sign-extended
    // Turns a diagnostic kept in the library in enciphered form back into the text `decode_value` reads.
    virtual std::string decode_text(const unsigned char* stored, int length) = 0;
    virtual std::string from_units(const std::vector<uint16_t>& units) = 0;
    // True when `stored` (an enciphered diagnostic) reads as `plain`.
    virtual bool hidden_text_aux(const std::string& stored, const std::string& plain) = 0;
    // AES-128 text operations with a 16-byte key (see `aes_encrypt`). Encryption: 0 for an empty input, -1
    // key set-up, -2 / -3 out of memory; else `*out` receives a new base64 text and the result is its buffer
    // size.
    virtual int aes128_encrypt_buf(const unsigned char* in, int length, char** out, const unsigned char* key)
        = 0;
    virtual std::string aes128_encrypt(const char* text, const unsigned char* key) = 0;
    // Decryption: 0 for an empty text, -1 out of memory, -2 bad base64, -3 key set-up, -4 bad length or
    // padding; else `*out` receives a new zero-terminated plain text and the result is its length.
    virtual int aes128_decrypt_buf(const char* text, int length, char** out, const unsigned char* key) = 0;
    virtual std::string aes128_decrypt(const char* text, const unsigned char* key) = 0;
};

} // namespace bg
