#include <devservice/requestverifier.h>

#include <devservice/jsonfields.h>
#include <devservice/servicetable.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>
#include <memory>
#include <optional>
#include <vector>

namespace devservice {

namespace {

    struct CipherContextDeleter {
        void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
    };

    const EVP_CIPHER* ecbCipher(size_t keySize)
    {
        switch (keySize) {
        case 16:
            return EVP_aes_128_ecb();
        case 24:
            return EVP_aes_192_ecb();
        case 32:
            return EVP_aes_256_ecb();
        default:
            return nullptr;
        }
    }

    std::optional<std::string> runCipher(const std::string& input, const std::string& key, bool encrypt)
    {
        const EVP_CIPHER* cipher = ecbCipher(key.size());
        std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(EVP_CIPHER_CTX_new());
        if (!cipher || !context)
            return std::nullopt;
        const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
        if (EVP_CipherInit_ex(context.get(), cipher, nullptr, keyBytes, nullptr, encrypt ? 1 : 0) != 1)
            return std::nullopt;
        std::string output(input.size() + 32, '\0');
        int written = 0;
        int last = 0;
        auto* out = reinterpret_cast<unsigned char*>(output.data());
        if (EVP_CipherUpdate(context.get(), out, &written,
                reinterpret_cast<const unsigned char*>(input.data()), static_cast<int>(input.size()))
                != 1
            || EVP_CipherFinal_ex(context.get(), out + written, &last) != 1)
            return std::nullopt;
        output.resize(static_cast<size_t>(written + last));
        return output;
    }

    bool isBase64Text(const std::string& text)
    {
        if (text.empty() || text.size() % 4 != 0)
            return false;
        const size_t padding = text.size() - std::min(text.find_last_not_of('=') + 1, text.size());
        if (padding > 2)
            return false;
        return std::all_of(text.begin(), text.end() - static_cast<long>(padding),
            [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '/'; });
    }

    // A number as the signature text writes it: whole numbers of the 32-bit range in decimal, everything
    // else rounded to six significant digits.
    std::string numberText(const Json::Value& value)
    {
        // Whole numbers of the 32-bit range, however they were written (5, 5.0).
        if (const std::optional<int> whole = jsonfields::toInt(value))
            return std::to_string(*whole);
        const double asDouble = jsonfields::toDouble(value).value_or(0);
        // "%g" in the C locale, whatever the locale of the process.
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << std::setprecision(6) << asDouble;
        return out.str();
    }

    std::string memberText(const Json::Value& value)
    {
        switch (value.type()) {
        case Json::stringValue:
            return jsonfields::toString(value).value_or("");
        case Json::intValue:
        case Json::uintValue:
        case Json::realValue:
            return numberText(value);
        case Json::booleanValue:
            return jsonfields::toBool(value).value_or(false) ? "1" : "0";
        case Json::arrayValue: {
            std::string text;
            for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
                const Json::Value& element = jsonfields::element(value, i);
                if (element.isString() || element.isNumeric())
                    text += element.isString() ? jsonfields::toString(element).value_or("") : numberText(element);
                if (i + 1 < value.size())
                    text += ',';
            }
            return text;
        }
        default: // null, object
            return std::string();
        }
    }

} // namespace

std::string aesEncrypt(const std::string& plain, const std::string& key)
{
    const std::optional<std::string> cipher = runCipher(plain, key, true);
    if (!cipher)
        return std::string();
    std::string text(4 * ((cipher->size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
        reinterpret_cast<const unsigned char*>(cipher->data()), static_cast<int>(cipher->size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::optional<std::string> aesDecrypt(const std::string& base64, const std::string& key)
{
    if (!isBase64Text(base64))
        return std::nullopt;
    std::string bytes(base64.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
        reinterpret_cast<const unsigned char*>(base64.data()), static_cast<int>(base64.size()));
    if (length < 0)
        return std::nullopt;
    const size_t padding = base64.size() - (base64.find_last_not_of('=') + 1);
    bytes.resize(static_cast<size_t>(length) - padding);
    return runCipher(bytes, key, false);
}

std::string md5Hex(const std::string& data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0xf];
    }
    return text;
}

std::string signatureText(const Json::Value& object)
{
    std::vector<std::string> names
        = object.isObject() ? object.getMemberNames() : std::vector<std::string>();
    // std::string compares as unsigned bytes (char_traits<char>::lt), which is the order wanted.
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
        text += name + "=" + memberText(jsonfields::member(object, name)) + "&";
    return text + "&" + wire::kSignSalt;
}

SignatureCheck verifySignature(const Json::Value& object)
{
    if (!object.isObject())
        return { false, "the body is not a JSON object" };
    struct Expected {
        const char* name;
        bool (Json::Value::*hasType)() const;
    };
    const Expected expected[] = {
        { wire::kSignTime, &Json::Value::isIntegral },
        { wire::kSignPlatform, &Json::Value::isIntegral },
        { wire::kSignPlatformType, &Json::Value::isIntegral },
        { wire::kSignClient, &Json::Value::isString },
        { wire::kSignAppVersion, &Json::Value::isString },
        { wire::kSignAppName, &Json::Value::isString },
        { wire::kSignature, &Json::Value::isString },
    };
    for (const Expected& member : expected) {
        if (!(jsonfields::member(object, member.name).*member.hasType)())
            return { false, std::string("missing or mistyped member \"") + member.name + "\"" };
    }
    if (jsonfields::stringOf(object, wire::kSignClient) != wire::kSignClientText)
        return { false, "unexpected client text" };
    Json::Value withoutSignature = object;
    withoutSignature.removeMember(wire::kSignature);
    const std::string expectedSign = md5Hex(signatureText(withoutSignature));
    if (jsonfields::stringOf(object, wire::kSignature) != expectedSign)
        return { false, "signature mismatch: expected " + expectedSign };
    return { true, std::string() };
}

} // namespace devservice
