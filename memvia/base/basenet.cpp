#include "base/basenet.h"

#include "base/memvialog.h"
#include "base/wirenames.h"

#include <korvex/md5.h>
#include <korvex/zovnet.h>

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <map>
#include <sstream>
#include <vector>

namespace {

constexpr int kUndecipherable = -11;
constexpr int kUnparsable = -10;

std::atomic<long> exchangeTimeoutMs { 30000 };
std::atomic<bool> abortingExchanges { false }; // set while abortExchanges ends those under way

// The waiting callbacks by request id; touched on the GUI thread only.
std::map<int, RequestCallback>& callbackTable()
{
    static auto* table = new std::map<int, RequestCallback>;
    return *table;
}
int nextRequestId = 0;

std::string numberText(const Json::Value& number)
{
    if (number.isInt())
        return std::to_string(number.asInt());
    std::ostringstream stream;
    stream << number.asDouble();
    return stream.str();
}

std::string valueText(const Json::Value& value)
{
    switch (value.type()) {
    case Json::stringValue:
        return value.asString();
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return numberText(value);
    case Json::booleanValue:
        return value.asBool() ? "1" : "0";
    case Json::arrayValue: {
        std::string text;
        for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
            const Json::Value& element = value[i];
            if (i > 0)
                text += ',';
            if (element.isString())
                text += element.asString();
            else if (element.isNumeric())
                text += numberText(element);
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

// The threads of postAsync's exchanges: the module's teardown waits for them, as they use the framework's
// components, which are released right after it.
static QThreadPool& exchangePool()
{
    static QThreadPool* pool = new QThreadPool; // never destroyed: exchanges may end during static teardown
    return *pool;
}

void BaseNet::waitForExchanges() { exchangePool().waitForDone(); }

void BaseNet::abortExchanges()
{
    abortingExchanges = true;
    exchangePool().waitForDone();
    abortingExchanges = false;
}

BaseNet::BaseNet(QObject* parent)
    : Base(parent)
{
}

void BaseNet::setTimeoutMs(long milliseconds) { exchangeTimeoutMs = milliseconds; }

long BaseNet::timeoutMs() { return exchangeTimeoutMs; }

void BaseNet::postAsync(const std::string& url, const std::string& body, RequestCallback callback,
    bool encrypt, const std::string& token)
{
    const int id = nextRequestId++;
    callbackTable()[id] = std::move(callback);
    QtConcurrent::run(&exchangePool(), [url, body, encrypt, token, id] {
        const RequestResult outcome = do_post(url, body, encrypt, token, &abortingExchanges);
        // Handed to the application object's thread: the requesting object may be gone by then, the table
        // of callbacks is not.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [id, outcome] { deliver(id, outcome.errcode, outcome.errmsg, outcome.result); },
            Qt::QueuedConnection);
    });
}

int BaseNet::postSync(const std::string& url, const std::string& body, bool encrypt, const std::string& token,
    std::string& result, std::string& errmsg, const std::atomic<bool>* abort)
{
    const RequestResult outcome = do_post(url, body, encrypt, token, abort);
    result = outcome.result;
    errmsg = outcome.errmsg;
    return outcome.errcode;
}

void BaseNet::slot_callBack(int id, int errcode, QString errmsg, QString result)
{
    deliver(id, errcode, errmsg.toStdString(), result.toStdString());
}

void BaseNet::deliver(int id, int errcode, const std::string& errmsg, const std::string& result)
{
    auto& table = callbackTable();
    const auto entry = table.find(id);
    if (entry == table.end())
        return;
    RequestCallback callback = std::move(entry->second);
    table.erase(entry);
    if (callback)
        callback(errcode, errmsg, result);
}

std::string BaseNet::makeBody(const std::string& params)
{
    return makeBody(params, nowMicroseconds() / 1000000);
}

std::string BaseNet::makeBody(const std::string& params, int64_t reqTime)
{
    Json::Value object = parseJson(params);
    if (!object.isObject())
        object = Json::Value(Json::objectValue);
    // A signature the caller brought along would end up in the text it is checked against.
    object.removeMember(vipwire::kSignature);
    object[vipwire::kSignTime] = Json::Int64(reqTime);
    object[vipwire::kSignPlatform] = platform();
    object[vipwire::kSignPlatformType] = 1;
    object[vipwire::kSignAppVersion] = appVersion();
    object[vipwire::kSignChannel] = channelId();
    object[vipwire::kSignAppName] = appName();
    object[vipwire::kSignature] = zov_crypt::MD5::md5Data(signText(object));
    return object.toStyledString();
}

std::string BaseNet::signText(const Json::Value& object)
{
    // std::string compares as unsigned bytes, a prefix first.
    std::vector<std::string> names = object.getMemberNames();
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
        text += name + "=" + valueText(object[name]) + "&";
    return text + "&" + signKey();
}

RequestResult BaseNet::do_post(const std::string& url, const std::string& body, bool encrypt,
    const std::string& token, const std::atomic<bool>* abort)
{
    BG_LOGE("Memvia do_post: %s", url.c_str());
    Zov_Client::ZovNet client(std::string {});
    client.appendHeader(vipwire::kContentTypeHeader, vipwire::kContentTypeValue);
    if (!token.empty())
        client.appendHeader(vipwire::kTokenHeader, vipwire::kTokenPrefix + token);
    client.setTimeoutMs(timeoutMs());
    client.setAbortFlag(abort);

    std::string payload = body;
    if (encrypt) {
        bool ok = false;
        const std::string cipher = aesEncrypt(body, cryptKey(envelopeVersion()), &ok);
        if (!ok) {
            RequestResult failure;
            failure.errmsg
                = QCoreApplication::translate("BaseNet", "请求数据加密失败，未发送！").toStdString();
            return failure;
        }
        Json::Value envelope(Json::objectValue);
        envelope[vipwire::kEnvelopeCipher] = cipher;
        envelope[vipwire::kEnvelopeVersion] = envelopeVersion();
        payload = envelope.toStyledString();
    }
    const Zov_Client::ZovResponse response = client.post(url, payload);
    return readReply(response.status, response.body);
}

RequestResult BaseNet::readReply(int status, const std::string& body)
{
    RequestResult outcome;
    if (status != 200) {
        outcome.errcode = -status;
        outcome.errmsg = body;
        return outcome;
    }
    bool parsed = false;
    const Json::Value reply = parseJson(body, &parsed);
    if (!parsed) {
        outcome.errcode = kUnparsable;
        outcome.errmsg = body;
        return outcome;
    }
    const int code = intMember(reply, vipwire::kReplyCode);
    if (code != 0) {
        outcome.errcode = code;
        outcome.errmsg = stringMember(reply, vipwire::kReplyMessage);
        return outcome;
    }
    const int encrypted = intMember(reply, vipwire::kReplyEncrypted);
    const int version = intMember(reply, vipwire::kReplyVersion);
    if (encrypted >= 1 && version >= 1 && version != envelopeVersion()) {
        outcome.errmsg
            = QCoreApplication::translate("BaseNet", "服务已经升级，请升级到更高版本！", "server_update")
                  .toStdString();
        return outcome;
    }
    std::string result = stringMember(reply, vipwire::kReplyData);
    if (!result.empty() && encrypted > 0) {
        bool ok = false;
        result = aesDecrypt(result, cryptKey(envelopeVersion()), &ok);
        if (!ok) {
            outcome.errcode = kUndecipherable;
            outcome.errmsg
                = QCoreApplication::translate("BaseNet", "服务器返回数据解密失败，请重试！").toStdString();
            return outcome;
        }
    }
    outcome.errcode = 0;
    outcome.errmsg = stringMember(reply, vipwire::kReplyMessage);
    outcome.result = result;
    return outcome;
}
