#include <bridge/crypt.h>
#include <bridge/value.h>

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes from_hex(const std::string& hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string to_hex(const unsigned char* data, size_t n)
{
    std::string out;
    char pair[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        out += pair;
    }
    return out;
}

std::string random_bytes(std::mt19937& rng, size_t n)
{
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng() & 0xFF);
    return s;
}

const EVP_CIPHER* openssl_cipher(size_t key_bytes, bool cbc)
{
    switch (key_bytes) {
    case 16:
        return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
    case 24:
        return cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
    default:
        return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
    }
}

// OpenSSL's cipher text of `plain`: ECB with PKCS#7 when `iv` is null, else CBC without padding.
std::string openssl_encrypt(
    const std::string& plain, const std::string& key, const unsigned char* iv = nullptr)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(
        EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(ctx.get(), openssl_cipher(key.size(), iv != nullptr), nullptr,
        reinterpret_cast<const unsigned char*>(key.data()), iv);
    EVP_CIPHER_CTX_set_padding(ctx.get(), iv ? 0 : 1);
    std::string out(plain.size() + 32, '\0');
    int n = 0, tail = 0;
    auto o = reinterpret_cast<unsigned char*>(out.data());
    EVP_EncryptUpdate(
        ctx.get(), o, &n, reinterpret_cast<const unsigned char*>(plain.data()), int(plain.size()));
    EVP_EncryptFinal_ex(ctx.get(), o + n, &tail);
    out.resize(size_t(n + tail));
    return out;
}

std::string openssl_base64(const std::string& bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
    out.resize(size_t(n));
    return out;
}

struct FreeBuffer {
    void operator()(void* p) const { std::free(p); }
};
using Owned = std::unique_ptr<char, FreeBuffer>;

class CryptTest : public ::testing::Test {
protected:
    bg::Crypt crypt;
    std::mt19937 rng { 20261210 };
};

// FIPS-197 appendix C: one block under each key size, enciphered and deciphered in place.
TEST_F(CryptTest, AesBlockKnownAnswers)
{
    struct Case {
        const char* key;
        const char* cipher;
    };
    const Case cases[] = {
        { "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a" },
        { "000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191" },
        { "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
            "8ea2b7ca516745bfeafc49904b496089" },
    };
    const Bytes plain = from_hex("00112233445566778899aabbccddeeff");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Bytes key = from_hex(c.key);
        bg::Aes_Context* ctx = crypt.aes_new();
        ASSERT_NE(ctx, nullptr);
        Bytes block = plain;
        ASSERT_EQ(crypt.aes_set_key(ctx, key.data(), int(key.size() * 8), 0), 0);
        EXPECT_EQ(crypt.aes_crypt_blocks(ctx, block.data(), block.data(), 1, nullptr, 0), 0);
        EXPECT_EQ(to_hex(block.data(), 16), c.cipher);
        ASSERT_EQ(crypt.aes_set_key(ctx, key.data(), int(key.size() * 8), 1), 0);
        crypt.aes_crypt_blocks(ctx, block.data(), block.data(), 1, nullptr, 0);
        EXPECT_EQ(block, plain);
        crypt.aes_free(&ctx);
        EXPECT_EQ(ctx, nullptr);
    }
}

// Each test runs in a process of its own, so the threads below race to build the shared tables.
TEST_F(CryptTest, AesFromManyThreadsAtOnce)
{
    const std::string key = "0123456789abcdef", plain = "the same text on every thread";
    const std::string expected = openssl_base64(openssl_encrypt(plain, key));
    std::vector<std::thread> threads;
    std::atomic<int> matches { 0 };
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            bg::Crypt own;
            for (int i = 0; i < 50; ++i) {
                if (own.aes_encrypt(plain, key) == expected && own.aes_decrypt(expected, key) == plain)
                    ++matches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(matches.load(), 8 * 50);
}

TEST_F(CryptTest, AesRefusesOtherKeyLengthsAndLeavesTheContext)
{
    const Bytes key = from_hex("000102030405060708090a0b0c0d0e0f");
    bg::Aes_Context* ctx = crypt.aes_new();
    ASSERT_EQ(crypt.aes_set_key(ctx, key.data(), 128, 0), 0);
    for (int bits : { 0, 100, 127, 160, 512 })
        EXPECT_EQ(crypt.aes_set_key(ctx, key.data(), bits, 1), 22) << bits;
    // Still the encryption key set up first.
    Bytes block = from_hex("00112233445566778899aabbccddeeff");
    crypt.aes_crypt_blocks(ctx, block.data(), block.data(), 1, nullptr, 0);
    EXPECT_EQ(to_hex(block.data(), 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
    crypt.aes_free(&ctx);
    crypt.aes_free(&ctx); // a cleared pointer is fine
    crypt.aes_free(nullptr);
}

TEST_F(CryptTest, AesCbcMatchesOpenSsl)
{
    for (size_t key_bytes : { 16, 24, 32 }) {
        for (int blocks : { 1, 2, 7 }) {
            SCOPED_TRACE(testing::Message() << key_bytes << " byte key, " << blocks << " blocks");
            std::string key = random_bytes(rng, key_bytes), plain = random_bytes(rng, size_t(blocks) * 16);
            std::string iv = random_bytes(rng, 16);
            std::string expected
                = openssl_encrypt(plain, key, reinterpret_cast<const unsigned char*>(iv.data()));

            bg::Aes_Context* ctx = crypt.aes_new();
            auto k = reinterpret_cast<const unsigned char*>(key.data());
            Bytes chain(iv.begin(), iv.end()), data(plain.begin(), plain.end());
            crypt.aes_set_key(ctx, k, int(key_bytes * 8), 0);
            crypt.aes_crypt_blocks(ctx, data.data(), data.data(), blocks, chain.data(), 0);
            EXPECT_EQ(std::string(data.begin(), data.end()), expected);
            EXPECT_EQ(std::string(chain.begin(), chain.end()), expected.substr(expected.size() - 16));

            chain.assign(iv.begin(), iv.end());
            crypt.aes_set_key(ctx, k, int(key_bytes * 8), 1);
            crypt.aes_crypt_blocks(ctx, data.data(), data.data(), blocks, chain.data(), 0);
            EXPECT_EQ(std::string(data.begin(), data.end()), plain);
            crypt.aes_free(&ctx);
        }
    }
}

// The text operations are AES-ECB with PKCS#7 padding as base64: exactly what OpenSSL produces.
TEST_F(CryptTest, AesTextMatchesOpenSslForEveryLengthAndKeySize)
{
    for (size_t key_bytes : { 16, 24, 32 }) {
        for (size_t length = 0; length <= 100; ++length) {
            SCOPED_TRACE(testing::Message() << key_bytes << " byte key, length " << length);
            std::string key = random_bytes(rng, key_bytes), plain = random_bytes(rng, length);
            std::string expected = openssl_base64(openssl_encrypt(plain, key));
            bool ok = false;
            ASSERT_EQ(crypt.aes_encrypt(plain, key, &ok), expected);
            EXPECT_TRUE(ok);
            ok = false;
            EXPECT_EQ(crypt.aes_decrypt(expected, key, &ok), plain);
            EXPECT_TRUE(ok);
            if (key_bytes == 16 && length > 0) {
                auto k = reinterpret_cast<const unsigned char*>(key.data());
                char* out = nullptr;
                int size = crypt.aes128_encrypt_buf(
                    reinterpret_cast<const unsigned char*>(plain.data()), int(length), &out, k);
                Owned owned(out);
                EXPECT_EQ(size, int(expected.size()) + 1);
                ASSERT_NE(out, nullptr);
                EXPECT_EQ(std::string(out), expected);
                char* back = nullptr;
                EXPECT_EQ(
                    crypt.aes128_decrypt_buf(expected.c_str(), int(expected.size()), &back, k), int(length));
                Owned owned_back(back);
                ASSERT_NE(back, nullptr);
                EXPECT_EQ(std::string(back, length), plain);
                EXPECT_EQ(back[length], '\0');
            }
        }
    }
}

TEST_F(CryptTest, AesTextPaddingSizes)
{
    const std::string key(16, 'k');
    std::string empty = crypt.aes_encrypt("", key);
    EXPECT_EQ(empty.size(), 24u);
    EXPECT_EQ(empty.substr(22), "==");
    EXPECT_EQ(crypt.aes_encrypt(std::string(16, 'x'), key).size(), 44u);

    const auto k = reinterpret_cast<const unsigned char*>(key.data());
    char* out = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(crypt.aes128_encrypt_buf(reinterpret_cast<const unsigned char*>("x"), 0, &out, k), 0);
    EXPECT_EQ(out, reinterpret_cast<char*>(0x1)); // nothing allocated
    EXPECT_EQ(crypt.aes128_encrypt("", k), "");
    std::string text = crypt.aes128_encrypt("hello", k);
    EXPECT_EQ(text, crypt.aes_encrypt("hello", key));
    EXPECT_EQ(crypt.aes128_decrypt(text.c_str(), k), "hello");
}

TEST_F(CryptTest, AesTextRefusesBadKeysWithOneDiagnostic)
{
    for (size_t key_bytes : { 0, 15, 17, 31, 33 }) {
        SCOPED_TRACE(key_bytes);
        std::string key(key_bytes, 'k');
        for (bool encrypt : { true, false }) {
            bool ok = true;
            testing::internal::CaptureStderr();
            std::string result = encrypt ? crypt.aes_encrypt("text", key, &ok)
                                         : crypt.aes_decrypt("AAAAAAAAAAAAAAAAAAAAAA==", key, &ok);
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(result, "");
            EXPECT_FALSE(ok);
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            EXPECT_NE(err.find("16, 24 or 32 bytes"), std::string::npos) << err;
        }
    }
}

// Damaged cipher texts and wrong keys fail: no garbage of some length is handed back as plain text.
TEST_F(CryptTest, AesDecryptRejectsDamagedInput)
{
    const std::string key = "0123456789abcdef", other = "0123456789abcdeg";
    const std::string good = crypt.aes_encrypt("a secret of some length", key);
    std::string flipped_last = crypt.base64_decode(good);
    flipped_last.back() ^= 0x01;
    std::string with_newline = good;
    with_newline.insert(8, "\n");
    const struct {
        const char* name;
        std::string text;
        std::string key;
    } cases[] = {
        { "wrong key", good, other },
        { "damaged last block", crypt.base64_encode(flipped_last), key },
        { "short of a block", crypt.base64_encode(crypt.base64_decode(good).substr(0, 31)), key },
        { "no blocks", "", key },
        { "line break", with_newline, key },
        { "space", " " + good, key },
        { "url alphabet", "-_" + good.substr(2), key },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = true;
        testing::internal::CaptureStderr();
        EXPECT_EQ(crypt.aes_decrypt(c.text, c.key, &ok), "");
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST_F(CryptTest, Aes128DecryptBufCodes)
{
    const std::string key_text = "0123456789abcdef";
    const auto key = reinterpret_cast<const unsigned char*>(key_text.data());
    const std::string good = crypt.aes128_encrypt("payload", key);
    std::string damaged = crypt.base64_decode(good);
    damaged.back() ^= 0x10;
    const struct {
        const char* name;
        std::string text;
        const unsigned char* key;
        int expected;
    } cases[] = {
        { "bad base64", "AAAA AAAA", key, -2 },
        { "no key", good, nullptr, -3 },
        { "bad padding", crypt.base64_encode(damaged), key, -4 },
        { "short of a block", "AAAAAAAA", key, -4 },
        { "wrong key", good, reinterpret_cast<const unsigned char*>("fedcba9876543210"), -4 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char* out = reinterpret_cast<char*>(0x1);
        EXPECT_EQ(crypt.aes128_decrypt_buf(c.text.c_str(), int(c.text.size()), &out, c.key), c.expected);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(crypt.aes128_decrypt(c.text.c_str(), c.key ? c.key : key), c.key ? "" : "payload");
    }
    char* out = nullptr;
    EXPECT_EQ(crypt.aes128_decrypt_buf("", 0, &out, key), 0);
    // The length bounds the read even when the text goes on.
    const std::string longer = good + "AAAA";
    EXPECT_EQ(crypt.aes128_decrypt_buf(longer.c_str(), int(good.size()), &out, key), 7);
    Owned owned(out);
    EXPECT_STREQ(out, "payload");
}

// RFC 4648 section 10.
TEST_F(CryptTest, Base64KnownAnswers)
{
    const std::pair<const char*, const char*> vectors[] = { { "", "" }, { "f", "Zg==" }, { "fo", "Zm8=" },
        { "foo", "Zm9v" }, { "foob", "Zm9vYg==" }, { "fooba", "Zm9vYmE=" }, { "foobar", "Zm9vYmFy" } };
    for (const auto& [plain, encoded] : vectors) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(crypt.base64_encode(plain), encoded);
        EXPECT_EQ(crypt.base64_decode(encoded), plain);
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    EXPECT_EQ(crypt.base64_encode(all), openssl_base64(all));
    EXPECT_EQ(crypt.base64_decode(crypt.base64_encode(all)), all);
}

TEST_F(CryptTest, Base64LengthsAndEndMarks)
{
    EXPECT_EQ(crypt.base64_encode_len(0), 1);
    EXPECT_EQ(crypt.base64_encode_len(4), 9);
    EXPECT_EQ(crypt.base64_decode_len(4), 3);
    EXPECT_EQ(crypt.base64_decode_len(2), 1);
    for (const char* text : { "QQ==", "QQ", "QQ==anything at all", "QQ\0AAAA" })
        EXPECT_EQ(crypt.base64_decode(text), "A") << text;
    for (const char* text : { "Q Q==", "QQ\r\n", "QQ-_", "Q\xc3\xa9Q=" })
        EXPECT_EQ(crypt.base64_decode(text), "") << text;
}

TEST_F(CryptTest, Base64BuffersRespectCapacity)
{
    const unsigned char in[] = "foobar";
    char out[10];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(crypt.base64_encode_buf(out, 8, in, 6), nullptr);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(crypt.base64_encode_buf(out, 9, in, 6), out);
    EXPECT_STREQ(out, "Zm9vYmFy");

    unsigned char bytes[8];
    std::memset(bytes, '#', sizeof bytes);
    EXPECT_EQ(crypt.base64_decode_buf(bytes, "Zm9vYmFy", 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), "foob#");
    // Past the capacity the text is still checked.
    EXPECT_EQ(crypt.base64_decode_buf(bytes, "Zm9vYm*y", 3), -1);
    EXPECT_EQ(crypt.base64_decode_buf(bytes, "Zm9vYmFy", 0), 0);
}

// RFC 1321 appendix A.5.
TEST_F(CryptTest, Md5KnownAnswers)
{
    const std::pair<const char*, const char*> suite[] = {
        { "", "d41d8cd98f00b204e9800998ecf8427e" },
        { "a", "0cc175b9c0f1b6a831c399e269772661" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f" },
        { "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a" },
    };
    for (const auto& [text, digest] : suite) {
        SCOPED_TRACE(text);
        EXPECT_STREQ(Owned(crypt.md5_str(text)).get(), digest);
        EXPECT_STREQ(Owned(crypt.md5(text, unsigned(std::strlen(text)))).get(), digest);
    }
    // Every length around the block boundaries, binary data included, against OpenSSL.
    for (size_t n = 0; n < 200; ++n) {
        std::string data = random_bytes(rng, n);
        unsigned char expected[MD5_DIGEST_LENGTH];
        EVP_Digest(data.data(), data.size(), expected, nullptr, EVP_md5(), nullptr);
        EXPECT_EQ(Owned(crypt.md5(data.data(), unsigned(n))).get(), to_hex(expected, 16)) << n;
    }
}

TEST_F(CryptTest, Md5MaskedAndShort)
{
    // md5("a") = 0cc175b9c0f1b6a831c399e269772661: every byte with its two low bits cleared.
    EXPECT_STREQ(Owned(crypt.md5_masked("a")).get(), "0cc074b8c0f0b4a830c098e068742460");
    Owned digest(crypt.md5_str("a"));
    crypt.md5_short(digest.get());
    EXPECT_STREQ(digest.get(), "c0f1b6a831c399e2");
    char too_short[] = "0123";
    crypt.md5_short(too_short);
    EXPECT_STREQ(too_short, "0123");
}

TEST_F(CryptTest, Md5File)
{
    char path[] = "/tmp/test_crypt_md5_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string data = random_bytes(rng, 3 * 10240 + 17);
    ASSERT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
    close(fd);
    unsigned char expected[MD5_DIGEST_LENGTH];
    EVP_Digest(data.data(), data.size(), expected, nullptr, EVP_md5(), nullptr);
    EXPECT_EQ(Owned(crypt.md5_file(path)).get(), to_hex(expected, 16));
    unlink(path);
    EXPECT_EQ(crypt.md5_file(path), nullptr);
    EXPECT_EQ(crypt.md5_file(nullptr), nullptr);
}

TEST_F(CryptTest, HexEncode)
{
    const unsigned char in[] = { 0x00, 0xAB, 0x7F };
    EXPECT_EQ(crypt.hex_encode(in, 3, nullptr, 0), 7);
    char out[7];
    EXPECT_EQ(crypt.hex_encode(in, 3, out, sizeof out), 6);
    EXPECT_STREQ(out, "00ab7f");
    EXPECT_EQ(crypt.hex_encode(in, 0, out, sizeof out), 0);
    EXPECT_EQ(crypt.hex_encode(in, 3, out, 0), 0);
    // A short buffer gets the whole bytes that fit and nothing past its end (ASan watches the heap copy).
    for (int cap : { 1, 2, 5, 6 }) {
        SCOPED_TRACE(cap);
        std::unique_ptr<char[]> small(new char[size_t(cap)]);
        EXPECT_EQ(crypt.hex_encode(in, 3, small.get(), cap), cap / 2 * 2);
        EXPECT_EQ(std::string(small.get(), size_t(cap / 2 * 2)),
            std::string("00ab7f").substr(0, size_t(cap / 2 * 2)));
    }
}

TEST_F(CryptTest, HexDecode)
{
    EXPECT_EQ(crypt.hex_decode("abcde", 5, nullptr, 0), 4);
    unsigned char out[4];
    EXPECT_EQ(crypt.hex_decode("00aB7f", 6, out, sizeof out), 3);
    EXPECT_EQ(to_hex(out, 4), "00ab7f00");
    EXPECT_EQ(crypt.hex_decode("abc", 3, out, sizeof out), 2); // the odd last digit is read alone
    EXPECT_EQ(to_hex(out, 2), "ab0c");
    EXPECT_EQ(crypt.hex_decode("zz1g", 4, out, sizeof out), 2);
    EXPECT_EQ(to_hex(out, 2), "0001");
    for (int cap : { 1, 2 }) {
        std::unique_ptr<unsigned char[]> small(new unsigned char[size_t(cap)]);
        EXPECT_EQ(crypt.hex_decode("00ab7f", 6, small.get(), cap), cap);
    }
}

TEST_F(CryptTest, ScrambleRoundTripsAndKeyEquivalence)
{
    // 300 bytes: every value, a length that is no multiple of 64.
    std::string original;
    for (int i = 0; i < 300; ++i)
        original.push_back(char(i));
    auto scrambled = [&](uint8_t key) {
        std::string s = original;
        crypt.scramble(reinterpret_cast<unsigned char*>(s.data()), unsigned(s.size()), key);
        return s;
    };
    for (int key : { 0, 1, 7, 249, 250, 251, 255 }) {
        SCOPED_TRACE(key);
        std::string s = scrambled(uint8_t(key));
        EXPECT_NE(s, original);
        crypt.unscramble(reinterpret_cast<unsigned char*>(s.data()), unsigned(s.size()), uint8_t(key));
        EXPECT_EQ(s, original);
    }
    EXPECT_EQ(scrambled(0), scrambled(250));
    EXPECT_EQ(scrambled(1), scrambled(251));
    // k = key % 250 + 2: byte b becomes ((b ^ k) + k) mod 256.
    EXPECT_EQ(uint8_t(scrambled(0)[0x41]), uint8_t((0x41 ^ 2) + 2));
    crypt.scramble(nullptr, 10, 1);
}

TEST_F(CryptTest, UnitConversions)
{
    std::vector<uint16_t> units = crypt.to_units("\xE4"
                                                 "a");
    EXPECT_EQ(units, (std::vector<uint16_t> { 0xFFE4, 0x61 }));
    EXPECT_EQ(crypt.from_units(units),
        "\xE4"
        "a");
    EXPECT_EQ(crypt.from_units({ 0x1234 }), "\x34");
}

TEST_F(CryptTest, EncodeValueRoundTrips)
{
    EXPECT_EQ(crypt.encode_value(bg::Value(), 7).type(), bg::Value::VT_NULL);
    const bg::Value values[] = { bg::Value(42), bg::Value("h\xC3\xA9llo \xE4\xB8\xAD"), bg::Value(true),
        bg::Value(static_cast<long long>(-5000000000LL)) };
    for (const bg::Value& value : values) {
        SCOPED_TRACE(value.write());
        bg::Value encoded = crypt.encode_value(value, 7);
        ASSERT_EQ(encoded.type(), bg::Value::VT_STRING);
        // The text form, scrambled with the key, in base64.
        std::string form = crypt.base64_decode(encoded.toStdString());
        crypt.unscramble(reinterpret_cast<unsigned char*>(form.data()), unsigned(form.size()), 7);
        EXPECT_EQ(form, value.write());
        EXPECT_EQ(crypt.encode_value(value, 7 + 256).toStdString(), encoded.toStdString()); // low 8 bits
        EXPECT_TRUE(crypt.decode_value(encoded, 7) == value);
    }
    EXPECT_EQ(crypt.decode_value(bg::Value("not base64!"), 7).type(), bg::Value::VT_NULL);
    EXPECT_EQ(crypt.decode_value(bg::Value(12), 7).type(), bg::Value::VT_NULL);
}

TEST_F(CryptTest, HiddenTextsReadBack)
{
    // The stored form is the masked encoding; the mask undoes itself.
    bg::Value encoded = crypt.encode_value(bg::Value("a hidden line"), 107);
    std::string text = encoded.toStdString();
    std::string stored
        = crypt.decode_text(reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    EXPECT_NE(stored, text);
    EXPECT_TRUE(crypt.hidden_text_aux(stored, "a hidden line"));
    EXPECT_FALSE(crypt.hidden_text_aux(stored, "another line"));
}

} // namespace
