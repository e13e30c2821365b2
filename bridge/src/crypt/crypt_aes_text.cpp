#include <bridge/crypt.h>

#include "aes.h"
#include "base64.h"
#include "diagnostics.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace bg {

namespace {

    using diagnostics::Failure;

    // Texts longer than this would overflow the int sizes of the buffer interface once padded and encoded.
    constexpr size_t kMaxText = size_t(INT_MAX) / 2;

    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };
    using Buffer = std::unique_ptr<unsigned char, FreeDeleter>;

    struct AesKey {
        Aes_Context context {};
        bool valid = false;
        AesKey(const unsigned char* key, int bits, bool decrypt)
            : valid(key && aes::key_setup(context, key, bits, decrypt) == 0)
        {
        }
    };

    inline size_t padded_length(size_t length)
    {
        return length + (aes::kBlockSize - length % aes::kBlockSize);
    }

    // Copies `text` into a new buffer with PKCS#7 padding and enciphers it in place (ECB).
    Buffer encipher_padded(const AesKey& key, const unsigned char* text, size_t length, size_t padded)
    {
        Buffer buffer(static_cast<unsigned char*>(std::malloc(padded)));
        if (!buffer)
            return buffer;
        std::memcpy(buffer.get(), text, length);
        std::memset(buffer.get() + length, int(padded - length), padded - length);
        aes::crypt_blocks(key.context, buffer.get(), buffer.get(), int(padded / aes::kBlockSize), nullptr);
        return buffer;
    }

    // Deciphers in place and returns the plain length, or -1 when the padding is not PKCS#7: a wrong key or a
    // damaged cipher text must fail rather than hand back garbage of some length.
    long decipher_padded(const AesKey& key, unsigned char* data, size_t length)
    {
        aes::crypt_blocks(key.context, data, data, int(length / aes::kBlockSize), nullptr);
        unsigned pad = data[length - 1];
        if (pad < 1 || pad > unsigned(aes::kBlockSize))
            return -1;
        for (size_t i = length - pad; i < length; ++i) {
            if (data[i] != pad)
                return -1;
        }
        return long(length - pad);
    }

    inline bool whole_blocks(long length) { return length > 0 && length % aes::kBlockSize == 0; }

    inline bool valid_key_length(size_t length) { return length == 16 || length == 24 || length == 32; }

    // The checks both text operations make before any work: a key of an AES size and a text within bounds.
    bool usable_input(Crypt& crypt, const std::string& text, const std::string& key)
    {
        if (!valid_key_length(key.size())) {
            diagnostics::report(crypt, Failure::KeyLength, std::to_string(key.size()));
            return false;
        }
        if (text.size() > kMaxText) {
            diagnostics::report(crypt, Failure::TooLong, std::to_string(text.size()));
            return false;
        }
        return true;
    }

} // namespace

std::string Crypt::aes_encrypt(const std::string& text, const std::string& key, bool* ok)
{
    if (ok)
        *ok = false;
    if (!usable_input(*this, text, key))
        return std::string();
    AesKey aes(reinterpret_cast<const unsigned char*>(key.data()), int(key.size() * 8), false);
    if (!aes.valid) {
        diagnostics::report(*this, Failure::KeySetup);
        return std::string();
    }
    size_t padded = padded_length(text.size());
    Buffer cipher
        = encipher_padded(aes, reinterpret_cast<const unsigned char*>(text.data()), text.size(), padded);
    if (!cipher) {
        diagnostics::report(*this, Failure::OutOfMemory, std::to_string(padded));
        return std::string();
    }
    size_t text_size = size_t(base64_encode_len(int(padded)));
    std::string encoded(text_size, '\0');
    base64::encode(encoded.data(), cipher.get(), padded);
    encoded.pop_back();
    if (ok)
        *ok = true;
    return encoded;
}

std::string Crypt::aes_decrypt(const std::string& text, const std::string& key, bool* ok)
{
    if (ok)
        *ok = false;
    if (!usable_input(*this, text, key))
        return std::string();
    size_t capacity = size_t(base64_decode_len(int(text.size())));
    std::string plain(capacity, '\0');
    auto data = reinterpret_cast<unsigned char*>(plain.data());
    long decoded = base64::decode(data, capacity, text.data(), text.size());
    if (decoded < 0) {
        diagnostics::report(
            *this, Failure::BadBase64, std::to_string(capacity) + ", " + std::to_string(decoded));
        return std::string();
    }
    if (!whole_blocks(decoded)) {
        diagnostics::report(*this, Failure::BadLength, std::to_string(decoded));
        return std::string();
    }
    AesKey aes(reinterpret_cast<const unsigned char*>(key.data()), int(key.size() * 8), true);
    if (!aes.valid) {
        diagnostics::report(*this, Failure::KeySetup);
        return std::string();
    }
    long length = decipher_padded(aes, data, size_t(decoded));
    if (length < 0) {
        diagnostics::report(*this, Failure::BadPadding);
        return std::string();
    }
    plain.resize(size_t(length));
    if (ok)
        *ok = true;
    return plain;
}

int Crypt::aes128_encrypt_buf(const unsigned char* in, int length, char** out, const unsigned char* key)
{
    if (length <= 0 || !in || !out || size_t(length) > kMaxText)
        return 0;
    AesKey aes(key, 128, false);
    if (!aes.valid)
        return -1;
    size_t padded = padded_length(size_t(length));
    Buffer cipher = encipher_padded(aes, in, size_t(length), padded);
    if (!cipher)
        return -2;
    int text_size = base64_encode_len(int(padded));
    *out = static_cast<char*>(std::calloc(size_t(text_size), 1));
    if (!*out)
        return -3;
    base64::encode(*out, cipher.get(), padded);
    return text_size;
}

std::string Crypt::aes128_encrypt(const char* text, const unsigned char* key)
{
    char* encoded = nullptr;
    int size = text ? aes128_encrypt_buf(
                   reinterpret_cast<const unsigned char*>(text), int(std::strlen(text)), &encoded, key)
                    : 0;
    std::string result = size > 0 ? std::string(encoded) : std::string();
    free_buffer(encoded);
    return result;
}

int Crypt::aes128_decrypt_buf(const char* text, int length, char** out, const unsigned char* key)
{
    if (length < 1 || !text || !out)
        return 0;
    *out = nullptr;
    size_t capacity = size_t(base64_decode_len(length));
    Buffer decoded(static_cast<unsigned char*>(std::malloc(capacity + 1)));
    if (!decoded)
        return -1;
    long decoded_length = base64::decode(decoded.get(), capacity, text, size_t(length));
    if (decoded_length < 0)
        return -2;
    AesKey aes(key, 128, true);
    if (!aes.valid)
        return -3;
    if (!whole_blocks(decoded_length))
        return -4;
    long plain = decipher_padded(aes, decoded.get(), size_t(decoded_length));
    if (plain < 0)
        return -4;
    // The decoding buffer has room for the terminator, so it becomes the result without another copy.
    decoded.get()[plain] = '\0';
    *out = reinterpret_cast<char*>(decoded.release());
    return int(plain);
}

std::string Crypt::aes128_decrypt(const char* text, const unsigned char* key)
{
    char* plain = nullptr;
    int length = text ? aes128_decrypt_buf(text, int(std::strlen(text)), &plain, key) : 0;
    std::string result = length > 0 ? std::string(plain) : std::string();
    free_buffer(plain);
    return result;
}

} // namespace bg
