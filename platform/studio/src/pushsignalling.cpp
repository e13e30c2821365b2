#include "pushsignalling.h"

#include <korvex/zovnet.h>

#include <QByteArray>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <memory>

namespace pushsignalling {

namespace {

struct SchemeMap {
    const char* from;
    const char* to;
};
constexpr SchemeMap kSchemes[] = { { "webrtc://", "http://" }, { "webrtcs://", "https://" } };

Outcome failure(std::string why)
{
    Outcome outcome;
    outcome.error = std::move(why);
    return outcome;
}

} // namespace

std::string httpAddress(const std::string& pushUrl)
{
    for (const SchemeMap& scheme : kSchemes) {
        const std::string from = scheme.from;
        if (pushUrl.size() > from.size() && pushUrl.compare(0, from.size(), from) == 0)
            return scheme.to + pushUrl.substr(from.size());
    }
    return {};
}

Outcome exchange(const std::string& pushUrl, const std::string& token, const std::string& offer,
    const std::atomic<bool>* abort, long timeoutMs)
{
    const std::string address = httpAddress(pushUrl);
    if (address.empty())
        return failure("the push address is not webrtc:// or webrtcs://");

    Json::Value body(Json::objectValue);
    body["stream_id"] = 0;
    body["type"] = 1;
    body["sdp"] = QByteArray::fromStdString(offer).toBase64().toStdString();
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";

    Zov_Client::ZovNet net(address);
    net.appendHeader("Content-Type", "application/json");
    if (!token.empty())
        net.appendHeader("Authorization", "Bearer " + token);
    net.setTimeoutMs(timeoutMs);
    net.setAbortFlag(abort);
    const Zov_Client::ZovResponse response = net.post("", Json::writeString(writer, body));
    if (response.status != 200)
        return failure("the SDP exchange failed with " + std::to_string(response.status) + ": "
            + response.body.substr(0, 200));

    Json::Value reply;
    std::string parseError;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (!reader->parse(response.body.data(), response.body.data() + response.body.size(), &reply, &parseError)
        || !reply.isObject())
        return failure("the SDP reply is not a JSON object");
    if (reply.isMember("errcode") && (!reply["errcode"].isIntegral() || reply["errcode"].asInt64() != 0))
        return failure("the service refused the push: "
            + (reply["errcode"].isIntegral() ? std::to_string(reply["errcode"].asInt64()) : std::string("?")) + " "
            + (reply["errmsg"].isString() ? reply["errmsg"].asString().substr(0, 200) : std::string()));
    if (reply["encrypt"].isIntegral() && reply["encrypt"].asInt() != 0)
        return failure("the SDP reply is enciphered");
    const Json::Value& result = reply["result"].isObject() ? reply["result"] : reply;
    if (!result["sdp"].isString() || result["sdp"].asString().empty())
        return failure("the SDP reply has no \"sdp\"");
    if (!result["id"].isIntegral())
        return failure("the SDP reply has no integral \"id\"");
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(result["sdp"].asString()), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return failure("the SDP reply's \"sdp\" is not base64");
    Outcome outcome;
    outcome.ok = true;
    outcome.answer = decoded.decoded.toStdString();
    outcome.id = result["id"].asInt64();
    return outcome;
}

} // namespace pushsignalling
