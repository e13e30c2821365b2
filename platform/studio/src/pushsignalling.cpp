#include "pushsignalling.h"

#include <korvex/zovnet.h>

#include <QByteArray>

#include <jsonread/jsonread.h>

#include <json/value.h>
#include <json/writer.h>

#include <optional>

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

namespace {

    Outcome post(const std::string& pushUrl, const std::string& token, const std::string& offer,
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

        return readAnswer(response.body);
    }

} // namespace

Outcome exchange(const std::string& pushUrl, const std::string& token, const std::string& offer,
    const std::atomic<bool>* abort, long timeoutMs)
{
    // It runs on a thread of the caller's with nothing above it: whatever escapes is this push's failure.
    Outcome outcome;
    std::string error;
    if (!jsonread::guarded([&] { outcome = post(pushUrl, token, offer, abort, timeoutMs); }, &error))
        return failure("the SDP exchange failed: " + error);
    return outcome;
}

Outcome readAnswer(std::string_view body)
{
    const std::optional<Json::Value> reply = jsonread::parseObject(body);
    if (!reply)
        return failure("the SDP reply is not a JSON object");
    const Json::Value& code = jsonread::member(*reply, "errcode");
    if (!code.isNull()) {
        const std::optional<int64_t> number = jsonread::toInt64(code);
        if (!number || *number != 0)
            return failure(
                "the service refused the push: " + (number ? std::to_string(*number) : std::string("?")) + " "
                + jsonread::stringOf(*reply, "errmsg").value_or(std::string()).substr(0, 200));
    }
    // Any number but 0, even one too large to read, says the answer is enciphered.
    const Json::Value& encrypt = jsonread::member(*reply, "encrypt");
    if (encrypt.isNumeric() && jsonread::toInt64(encrypt) != std::optional<int64_t>(0))
        return failure("the SDP reply is enciphered");
    const Json::Value* inner = jsonread::objectOf(*reply, "result");
    const Json::Value& result = inner ? *inner : *reply;
    const std::optional<std::string> sdp = jsonread::stringOf(result, "sdp");
    if (!sdp || sdp->empty())
        return failure("the SDP reply has no \"sdp\"");
    const std::optional<int64_t> id = jsonread::int64Of(result, "id");
    if (!id)
        return failure("the SDP reply has no integral \"id\"");
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(*sdp), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return failure("the SDP reply's \"sdp\" is not base64");
    Outcome outcome;
    outcome.ok = true;
    outcome.answer = decoded.decoded.toStdString();
    outcome.id = *id;
    return outcome;
}

} // namespace pushsignalling
