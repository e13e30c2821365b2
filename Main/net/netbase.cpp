#include "net/netbase.h"

#include "net/jsontext.h"
#include "net/netframework.h"
#include "net/wirenames.h"

#include <korvex/md5.h>
#include <korvex/zovnet.h>

#include <jsonread/jsonread.h>

#include <json/value.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <optional>
#include <sstream>
#include <vector>

namespace {

constexpr char kUnknownError[] = "unknow error !";

// User texts of the transfer failures (libcurl's codes, negated). Certificate failures of every kind share
// one text.
struct TransferText {
    int code;
    const char* text;
};
constexpr char kCertificateText[] = "ssl证书认证失败，请退出杀毒软件，重启软件！";
constexpr int kMalformedAddress = -3;
constexpr char kMalformedAddressText[] = "请求地址不正确，请重启软件！";
constexpr TransferText kTransferTexts[] = {
    { kMalformedAddress, kMalformedAddressText },
    { -5, "无法解析代理主机，请重试！" },
    { -6, "无网络连接，请检查网络，再重试！" },
    { -7, "无法连接到服务器，请检查网络，再重试！" },
    { -28, "网络请求超时，请重试！" },
    { -35, kCertificateText },
    { -56, "接收网络数据失败，请重试！" },
    { -60, kCertificateText },
    { -77, kCertificateText },
};

struct LocalText {
    int code;
    const char* text;
};
constexpr LocalText kLocalTexts[] = {
    { NetBase::UnparsableReply, "服务器返回数据无法解析，请重试！" },
    { NetBase::ReplyNotObject, "服务器返回数据格式不正确，请重试！" },
    { NetBase::UndecryptableData, "服务器返回数据解密失败，请重试！" },
    { NetBase::UnsignableBody, "请求数据无效，未发送！" },
    { NetBase::UnencryptableBody, "请求数据加密失败，未发送！" },
};

const char* localText(int code)
{
    for (const LocalText& entry : kLocalTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return kUnknownError;
}

// printf's "%g" (six significant digits) in the C locale whatever the user's locale: a comma for the decimal
// point would change every signature the service checks.
std::string shortestText(double number)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(6) << number;
    return out.str();
}

// A number as the signed text writes it: whole numbers of the 32-bit range in decimal, every other number as
// printf's "%g" (six significant digits).
std::string numberText(const Json::Value& number)
{
    if (const std::optional<int> whole = jsonread::toInt(number))
        return std::to_string(*whole);
    return shortestText(jsonread::toDouble(number).value_or(0.0));
}

std::string valueText(const Json::Value& value)
{
    switch (value.type()) {
    case Json::stringValue:
        return jsonread::toString(value).value_or(std::string());
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return numberText(value);
    case Json::booleanValue:
        return jsonread::toBool(value).value_or(false) ? "1" : "0";
    case Json::arrayValue: {
        // Strings and numbers only; every other element leaves an empty place between its commas.
        std::string text;
        const Json::ArrayIndex count = value.size();
        for (Json::ArrayIndex i = 0; i < count; ++i) {
            const Json::Value& element = jsonread::element(value, i);
            if (const std::optional<std::string> string = jsonread::toString(element))
                text += *string;
            else if (element.isNumeric())
                text += numberText(element);
            if (i + 1 < count)
                text += ',';
        }
        return text;
    }
    case Json::nullValue:
    case Json::objectValue:
        break;
    }
    return std::string();
}

} // namespace

NetBase::NetBase(QObject* parent)
    : QObject(parent)
{
}

NetBase::~NetBase() = default;

std::string NetBase::sign(const std::string& body)
{
    Json::Value object;
    if (!jsontext::parse(body, object) || !object.isObject())
        return std::string();

    object[wire::kSignTime] = Json::Int64(netframework::nowMicroseconds() / 1000000);
    object[wire::kSignPlatform] = 1;
    object[wire::kSignPlatformType] = 1;
    object[wire::kSignClient] = wire::kSignClientText;
    object[wire::kSignAppVersion] = netframework::appVersion();
    object[wire::kSignAppName] = netframework::appName();

    // std::string orders by unsigned byte value, a prefix first.
    std::vector<std::string> names = object.getMemberNames();
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
        text += name + "=" + valueText(jsonread::member(object, name)) + "&";
    text += "&";
    text += wire::kSignSalt;

    object[wire::kSignature] = zov_crypt::MD5::md5Data(text);
    return jsontext::styled(object);
}

bool NetBase::post(const std::string& path, const std::string& body, std::string& data,
    const std::string& baseUrl, bool encrypt, const std::string& token, const std::string& aesKey,
    int envelopeVersion)
{
    // A base that was never configured: libcurl would try the path alone as an address.
    if (baseUrl.empty()) {
        fail(kMalformedAddress, kMalformedAddressText);
        return false;
    }
    // An empty body is what sign gives for one it could not sign: the service would refuse it anyway.
    if (body.empty()) {
        fail(UnsignableBody, localText(UnsignableBody));
        return false;
    }
    std::string text = body;
    if (encrypt) {
        bool ok = false;
        const std::string cipher = netframework::aesEncrypt(body, aesKey, &ok);
        if (!ok) {
            fail(UnencryptableBody, localText(UnencryptableBody));
            return false;
        }
        Json::Value envelope(Json::objectValue);
        envelope[wire::kEnvelopeCipher] = cipher;
        envelope[wire::kEnvelopeVersion] = envelopeVersion;
        text = jsontext::styled(envelope);
    }

    Zov_Client::ZovNet client(baseUrl);
    setupClient(client, baseUrl);
    if (!token.empty())
        client.appendHeader(wire::kTokenHeader, std::string(wire::kTokenPrefix) + token);
    client.setTimeout(m_timeoutSeconds);
    const Zov_Client::ZovResponse response = client.post(path, text);

    code = 0;
    if (response.status != 200) {
        fail(-response.status, response.body);
        return false;
    }
    try {
        readReply(response.body, data, aesKey);
    } catch (const std::exception&) {
        // jsoncpp refuses a conversion it was not expected to meet: the reply is not what the service sends.
        fail(ReplyNotObject, localText(ReplyNotObject));
    }
    return code == 0;
}

void NetBase::setupClient(Zov_Client::ZovNet& client, const std::string&)
{
    client.appendHeader(wire::kContentTypeHeader, wire::kContentTypeValue);
}

const std::string& NetBase::errorText()
{
    for (const TransferText& entry : kTransferTexts) {
        if (entry.code == code) {
            message = entry.text;
            break;
        }
    }
    return message;
}

void NetBase::readReply(const std::string& reply, std::string& data, const std::string& aesKey)
{
    Json::Value root;
    if (!jsontext::parse(reply, root)) {
        fail(UnparsableReply, localText(UnparsableReply));
        return;
    }
    if (!root.isObject()) {
        fail(ReplyNotObject, localText(ReplyNotObject));
        return;
    }

    // Any integral code but 0 is a failure, one outside 32 bits included (it is kept as the nearest 32-bit
    // value, never as 0).
    const Json::Value& replyCode = jsonread::member(root, wire::kReplyCode);
    if (const std::optional<int> narrow = jsonread::toInt(replyCode))
        code = *narrow;
    else if (const std::optional<int64_t> wide = jsonread::toInt64(replyCode))
        code = *wide < 0 ? INT32_MIN : INT32_MAX;
    else if (jsonread::toUInt64(replyCode))
        code = INT32_MAX;
    if (code != 0) {
        message = jsonread::stringOf(root, wire::kReplyMessage).value_or(kUnknownError);
        return;
    }

    const Json::Value& flag = jsonread::member(root, wire::kReplyEncrypted);
    const std::optional<int64_t> signedFlag = jsonread::toInt64(flag);
    const std::optional<uint64_t> unsignedFlag = jsonread::toUInt64(flag);
    const bool encrypted = (signedFlag && *signedFlag > 0) || (unsignedFlag && *unsignedFlag > 0);
    const Json::Value& member = jsonread::member(root, wire::kReplyData);
    std::string text;
    if (!member.isNull()) {
        if (encrypted) {
            bool ok = false;
            const std::string cipher = jsonread::toString(member).value_or(std::string());
            if (!cipher.empty())
                text = netframework::aesDecrypt(cipher, aesKey, &ok);
            if (!ok) {
                fail(UndecryptableData, localText(UndecryptableData));
                return;
            }
        } else {
            text = jsontext::styled(member);
        }
    }
    data = text;
    message.clear();
}

void NetBase::fail(int failureCode, const std::string& text)
{
    code = failureCode;
    message = text;
}
