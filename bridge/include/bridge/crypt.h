#pragma once

#include <bridge/abstract_crypt.h>

namespace bg {

class Interface;

// The framework's implementation of `Abstract_Crypt`. AES, MD5 and base64 are its own code; the AES tables
// are built once per process, at the first key set-up.
class BG_API Crypt : public Abstract_Crypt {
public:
    explicit Crypt(Interface* owner = nullptr);
    ~Crypt() override;

    Aes_Context* aes_new() override;
    void aes_free(Aes_Context** context) override;
    int aes_set_key(Aes_Context* context, const unsigned char* key, int bits, int direction) override;
    int aes_crypt_blocks(Aes_Context* context, unsigned char* out, const unsigned char* in, int blocks,
        unsigned char* chain, int unused) override;
    std::string aes_encrypt(const std::string& text, const std::string& key, bool* ok = nullptr) override;
    std::string aes_decrypt(const std::string& text, const std::string& key, bool* ok = nullptr) override;
    Value encode_value(const Value& value, int key) override;
    Value decode_value(const Value& value, int key) override;
    int base64_decode_len(int chars) override;
    int base64_encode_len(int bytes) override;
    std::string base64_decode(const std::string& text) override;
    int base64_decode_buf(unsigned char* out, const char* text, int capacity) override;
    std::string base64_encode(const std::string& bytes) override;
    char* base64_encode_buf(char* out, int capacity, const unsigned char* in, int length) override;
    char* md5(const void* data, unsigned length) override;
    char* md5_str(const char* text) override;
    char* md5_masked(const char* text) override;
    char* md5_file(const char* path) override;
    void md5_short(char* digest) override;
    void free_buffer(void* buffer) override;
    void scramble(unsigned char* data, unsigned length, uint8_t key) override;
    void unscramble(unsigned char* data, unsigned length, uint8_t key) override;
    int hex_encode(const unsigned char* in, int length, char* out, int capacity) override;
    int hex_decode(const char* text, int length, unsigned char* out, int capacity) override;
    std::vector<uint16_t> to_units(const std::string& bytes) override;
    std::string decode_text(const unsigned char* stored, int length) override;
    std::string from_units(const std::vector<uint16_t>& units) override;
    bool hidden_text_aux(const std::string& stored, const std::string& plain) override;
    int aes128_encrypt_buf(
        const unsigned char* in, int length, char** out, const unsigned char* key) override;
    std::string aes128_encrypt(const char* text, const unsigned char* key) override;
    int aes128_decrypt_buf(const char* text, int length, char** out, const unsigned char* key) override;
    std::string aes128_decrypt(const char* text, const unsigned char* key) override;
};

} // namespace bg
