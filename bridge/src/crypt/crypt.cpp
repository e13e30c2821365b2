#include <bridge/crypt.h>

#include "aes.h"
#include "base64.h"
#include "md5.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace bg {

namespace {

    constexpr int kBase64MaxInput = 1073741823; // 2^30 - 1
    constexpr size_t kFileChunk = 10240;
    constexpr int kDigestHexLength = 32;

    char* hex_digest(const unsigned char digest[16], uint8_t mask)
    {
        char* text = static_cast<char*>(std::malloc(kDigestHexLength + 1));
        if (!text)
            return nullptr;
        static constexpr char kDigits[] = "0123456789abcdef";
        for (int i = 0; i < 16; ++i) {
            uint8_t b = digest[i] & mask;
            text[2 * i] = kDigits[b >> 4];
            text[2 * i + 1] = kDigits[b & 15];
        }
        text[kDigestHexLength] = '\0';
        return text;
    }

    char* digest_of(const void* data, size_t length, uint8_t mask)
    {
        md5::Digest digest;
        digest.update(data, length);
        unsigned char out[16];
        digest.finish(out);
        return hex_digest(out, mask);
    }

    inline uint8_t scramble_key(uint8_t key) { return uint8_t(key % 250 + 2); }

    int hex_value(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // Up to two leading hex digits of a pair, as "%02x" reads them; 0 when the pair does not start with one.
    uint8_t read_hex_pair(const char* pair, int available)
    {
        int value = 0;
        for (int i = 0; i < available && i < 2; ++i) {
            int digit = hex_value(pair[i]);
            if (digit < 0)
                break;
            value = value * 16 + digit;
        }
        return uint8_t(value);
    }

} // namespace

Abstract_Crypt::~Abstract_Crypt() = default;

Crypt::Crypt(Interface* owner_component) { owner = owner_component; }

Crypt::~Crypt() = default;

Aes_Context* Crypt::aes_new() { return static_cast<Aes_Context*>(std::calloc(1, sizeof(Aes_Context))); }

void Crypt::aes_free(Aes_Context** context)
{
    if (context && *context) {
        std::free(*context);
        *context = nullptr;
    }
}

int Crypt::aes_set_key(Aes_Context* context, const unsigned char* key, int bits, int direction)
{
    if (!context || !key)
        return aes::kBadKeyLength;
    return aes::key_setup(*context, key, bits, direction != 0);
}

int Crypt::aes_crypt_blocks(
    Aes_Context* context, unsigned char* out, const unsigned char* in, int blocks, unsigned char* chain, int)
{
    if (context && out && in && blocks > 0)
        aes::crypt_blocks(*context, out, in, blocks, chain);
    return 0;
}

int Crypt::base64_decode_len(int chars) { return int(int64_t(chars) * 3 / 4); }

int Crypt::base64_encode_len(int bytes)
{
    int64_t length = (int64_t(bytes < 0 ? 0 : bytes) + 2) / 3 * 4 + 1;
    return length > INT32_MAX ? INT32_MAX : int(length);
}

std::string Crypt::base64_decode(const std::string& text)
{
    std::string bytes(size_t(base64_decode_len(int(std::min<size_t>(text.size(), INT32_MAX)))), '\0');
    long written = base64::decode(
        reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(), text.size());
    if (written < 0)
        return std::string();
    bytes.resize(size_t(written));
    return bytes;
}

int Crypt::base64_decode_buf(unsigned char* out, const char* text, int capacity)
{
    if (!text)
        return 0;
    return int(base64::decode(out, capacity > 0 ? size_t(capacity) : 0, text, std::strlen(text)));
}

std::string Crypt::base64_encode(const std::string& bytes)
{
    if (bytes.size() >= size_t(kBase64MaxInput))
        return std::string();
    std::string text(size_t(base64_encode_len(int(bytes.size()))), '\0');
    base64::encode(text.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    text.pop_back(); // the terminator
    return text;
}

char* Crypt::base64_encode_buf(char* out, int capacity, const unsigned char* in, int length)
{
    if (!out || length < 0 || length >= kBase64MaxInput || (length > 0 && !in)
        || capacity < base64_encode_len(length))
        return nullptr;
    base64::encode(out, in, size_t(length));
    return out;
}

char* Crypt::md5(const void* data, unsigned length) { return digest_of(data, data ? length : 0, 0xFF); }

char* Crypt::md5_str(const char* text) { return digest_of(text, text ? std::strlen(text) : 0, 0xFF); }

char* Crypt::md5_masked(const char* text) { return digest_of(text, text ? std::strlen(text) : 0, 0xFC); }

char* Crypt::md5_file(const char* path)
{
    if (!path || !*path)
        return nullptr;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file)
        return nullptr;
    md5::Digest digest;
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kFileChunk]);
    while (size_t got = std::fread(chunk.get(), 1, kFileChunk, file.get()))
        digest.update(chunk.get(), got);
    unsigned char out[16];
    digest.finish(out);
    return hex_digest(out, 0xFF);
}

void Crypt::md5_short(char* digest)
{
    if (!digest || strnlen(digest, kDigestHexLength) < size_t(kDigestHexLength))
        return;
    std::memmove(digest, digest + 8, 16);
    digest[16] = '\0';
}

void Crypt::free_buffer(void* buffer) { std::free(buffer); }

void Crypt::scramble(unsigned char* data, unsigned length, uint8_t key)
{
    const uint8_t k = scramble_key(key);
    for (unsigned i = 0; data && i < length; ++i)
        data[i] = uint8_t((data[i] ^ k) + k);
}

void Crypt::unscramble(unsigned char* data, unsigned length, uint8_t key)
{
    const uint8_t k = scramble_key(key);
    for (unsigned i = 0; data && i < length; ++i)
        data[i] = uint8_t(data[i] - k) ^ k;
}

int Crypt::hex_encode(const unsigned char* in, int length, char* out, int capacity)
{
    if (length < 1 || !in)
        return 0;
    if (!out)
        return 2 * length + 1;
    if (capacity < 1)
        return 0;
    std::memset(out, 0, size_t(capacity));
    static constexpr char kDigits[] = "0123456789abcdef";
    int bytes = std::min(length, capacity / 2);
    for (int i = 0; i < bytes; ++i) {
        out[2 * i] = kDigits[in[i] >> 4];
        out[2 * i + 1] = kDigits[in[i] & 15];
    }
    return 2 * bytes;
}

int Crypt::hex_decode(const char* text, int length, unsigned char* out, int capacity)
{
    if (length < 1 || !text)
        return 0;
    if (!out)
        return (length + 1) / 2 + 1;
    if (capacity < 1)
        return 0;
    std::memset(out, 0, size_t(capacity));
    int bytes = std::min((length + 1) / 2, capacity);
    for (int i = 0; i < bytes; ++i)
        out[i] = read_hex_pair(text + 2 * i, std::min(2, length - 2 * i));
    return bytes;
}

std::vector<uint16_t> Crypt::to_units(const std::string& bytes)
{
    std::vector<uint16_t> units;
    units.reserve(bytes.size());
    for (char c : bytes)
        units.push_back(uint16_t(int16_t(static_cast<signed char>(c))));
    return units;
}

std::string Crypt::from_units(const std::vector<uint16_t>& units)
{
    std::string bytes;
    bytes.reserve(units.size());
    for (uint16_t unit : units)
        bytes.push_back(char(unit & 0xFF));
    return bytes;
}

} // namespace bg
