#include <devservice/requestverifier.h>
#include <devservice/servicetable.h>

#include <QByteArray>

#include <json/reader.h>

#include "support/comma_locale.h"

#include <gtest/gtest.h>

using namespace devservice;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xf];
    }
    return out;
}

} // namespace

TEST(RequestVerifierAes, EcbWithPkcs7InBase64)
{
    // FIPS-197 example block, then a whole padding block.
    std::string key;
    std::string block;
    for (int i = 0; i < 16; ++i) {
        key += static_cast<char>(i);
        block += static_cast<char>(i * 0x11);
    }
    const std::string cipher = aesEncrypt(block, key);
    ASSERT_EQ(cipher.size(), 44u);
    const std::optional<std::string> plain = aesDecrypt(cipher, key);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, block);

    // An empty text is one block of padding: 24 base64 characters ending in "==".
    const std::string empty = aesEncrypt("", "q7#Lm!wz_r4Kp2$e");
    EXPECT_EQ(empty.size(), 24u);
    EXPECT_EQ(empty.substr(22), "==");

    const QByteArray cipherBytes = QByteArray::fromBase64(QByteArray::fromStdString(cipher));
    EXPECT_EQ(hex(cipherBytes.left(16).toStdString()), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST(RequestVerifierAes, RefusesWhatDoesNotDecrypt)
{
    const std::string key = "norvo.zq_&^%*_84";
    const std::string cipher = aesEncrypt("{\"a\":1}", key);
    const struct {
        const char* name;
        std::string text;
        std::string key;
    } cases[] = {
        { "wrong key", cipher, "norvo.zq_7&^%_51" },
        { "bad key length", cipher, "short" },
        { "line break", cipher.substr(0, 12) + "\n" + cipher.substr(12), key },
        { "not base64", "****", key },
        { "not whole blocks", "QUJD", key },
        { "empty", "", key },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(aesDecrypt(c.text, c.key));
    }
}

TEST(RequestVerifierSignature, AcceptsOnlyTheMatchingSignature)
{
    Json::Value body = parse(R"({"title": "t", "req_time": 1700000000, "platform": 1, "platform_type": 1,
        "client": "desktop", "app_version": "1.0.0", "app_name": "Tavimeet"})");
    const std::string text = signatureText(body);
    EXPECT_EQ(text,
        "app_name=Tavimeet&app_version=1.0.0&client=desktop&platform=1&platform_type=1&req_time=1700000000&"
        "title=t&&norvo.zq@19971204");
    body[wire::kSignature] = md5Hex(text);
    EXPECT_TRUE(verifySignature(body).valid) << verifySignature(body).problem;

    Json::Value tampered = body;
    tampered["title"] = "u";
    EXPECT_FALSE(verifySignature(tampered).valid);
    Json::Value missing = body;
    missing.removeMember(wire::kSignTime);
    EXPECT_FALSE(verifySignature(missing).valid);
    Json::Value mistyped = body;
    mistyped[wire::kSignPlatform] = "1";
    EXPECT_FALSE(verifySignature(mistyped).valid);
    EXPECT_FALSE(verifySignature(parse("[1]")).valid);
}

// The service writes numbers with a point whatever its locale: a 64-bit id signed by the client checks.
TEST(RequestVerifierSignature, NumbersIgnoreTheLocale)
{
    CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "no comma-decimal locale could be made";
    const Json::Value body = parse(R"({"id": 5123456789, "x": 0.5, "req_time": 1700000000})");
    EXPECT_EQ(signatureText(body), "id=5.12346e+09&req_time=1700000000&x=0.5&&norvo.zq@19971204");
}
