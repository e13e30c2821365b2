#include "ui/part/chatcommands.h"

#include <jsonread/jsonread.h>

#include <limits>

namespace chatcommand {
namespace {

Json::Value command(const char* type)
{
    Json::Value value(Json::objectValue);
    value["type"] = type;
    return value;
}

Json::Value id(int64_t value) { return Json::Value(Json::Int64(value)); }

bool isInteger(const Json::Value& value) { return value.isInt64() || value.isUInt64(); }

std::optional<int64_t> decimal(const std::string& text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

QString integerText(const Json::Value& value)
{
    if (value.isInt64())
        return QString::number(qint64(value.asInt64()));
    return QString::number(quint64(value.asUInt64()));
}

} // namespace

Json::Value inviteLianmai(int64_t studentId, int orderType)
{
    Json::Value value = command(kInviteLianmai);
    value["student_id"] = id(studentId);
    value["order_type"] = orderType;
    return value;
}

Json::Value endLianmai(int64_t studentId)
{
    Json::Value value = command(kEndLianmai);
    value["student_id"] = id(studentId);
    return value;
}

Json::Value receiveInvitation(int64_t ownId, bool accept)
{
    Json::Value value = command(kReceiveInvitation);
    value["student_id"] = id(ownId);
    value["accept"] = accept;
    return value;
}

Json::Value streamUrl(int64_t ownId, int64_t streamerId, bool audio, bool video)
{
    Json::Value value = command(kStreamUrl);
    value["user_id"] = id(ownId);
    value["url"] = id(streamerId);
    value["stream_id"] = id(streamerId);
    value["audio"] = audio;
    value["video"] = video;
    return value;
}

Json::Value streamUrlEnded(int64_t ownId)
{
    Json::Value value = command(kStreamUrl);
    value["user_id"] = id(ownId);
    value["url"] = "";
    value["stream_id"] = "";
    value["audio"] = false;
    value["video"] = false;
    return value;
}

Json::Value streamEnd() { return command(kStreamEnd); }

Json::Value receiveTouping(int64_t studentId, bool accept)
{
    Json::Value value = command(kReceiveTouping);
    value["student_id"] = id(studentId);
    value["accept"] = accept;
    return value;
}

Json::Value endTouping(int64_t studentId)
{
    Json::Value value = command(kEndTouping);
    value["student_id"] = id(studentId);
    return value;
}

const char* direction(const QSize& output) { return output.width() > output.height() ? "horiz" : "verti"; }

Json::Value lianmaiList(const LianmaiListInput& input)
{
    Json::Value value = command(kLianmaiList);
    Json::Value teacher(Json::objectValue);
    teacher["video_url"] = id(input.hostVideoStreamId);
    teacher["audio_url"] = Json::Int64(input.hostAudioStreamerId);
    teacher["direction"] = direction(input.outputSize);
    value["teacher"] = teacher;
    Json::Value members(Json::arrayValue);
    for (const auto& [memberId, displayName] : input.members) {
        Q_UNUSED(displayName);
        const auto stream = input.streams.constFind(memberId);
        if (stream == input.streams.constEnd() || stream->streamId == 0)
            continue;
        Json::Value member(Json::objectValue);
        member["user_id"] = id(memberId);
        member["name"] = stream->name.toStdString();
        member["stream_id"] = id(stream->streamId);
        member["audio"] = stream->audio;
        member["video"] = stream->video;
        members.append(member);
    }
    value["members"] = members;
    return value;
}

std::string text(const Json::Value& command) { return command.toStyledString(); }

std::optional<int64_t> hostUrlStreamId(const Json::Value& command)
{
    const Json::Value& streamId = jsonread::member(command, "stream_id");
    std::optional<int64_t> value;
    if (streamId.isInt64())
        value = streamId.asInt64();
    else if (streamId.isString())
        value = decimal(streamId.asString());
    if (!value || *value <= 0)
        return std::nullopt;
    return value;
}

QString hostStreamUrlText(const Json::Value& url)
{
    if (isInteger(url))
        return url.isInt64() && url.asInt64() == 0 ? QString() : integerText(url);
    return url.isString() ? QString::fromStdString(url.asString()) : QString();
}

QString viewerStreamUrlText(const Json::Value& url)
{
    if (isInteger(url))
        return integerText(url);
    return url.isString() ? QString::fromStdString(url.asString()) : QString();
}

int64_t idOf(const Json::Value& value)
{
    if (value.isInt64())
        return value.asInt64();
    if (value.isString())
        return decimal(value.asString()).value_or(0);
    return 0;
}

std::vector<int64_t> lianmaiMemberIds(const Json::Value& command)
{
    std::vector<int64_t> ids;
    const Json::Value& members = jsonread::member(command, "members");
    if (!members.isArray())
        return ids;
    for (const Json::Value& element : members) {
        if (element.isObject())
            ids.push_back(idOf(jsonread::member(element, "user_id")));
    }
    return ids;
}

Dispatcher::Outcome Dispatcher::dispatch(bool isHost, const QString& senderChatId, const std::string& cleanedText) const
{
    Received received;
    received.senderChatId = senderChatId;
    // Any member of the room can send any text: it is read with the guarded reader, and whatever escapes a
    // handler fails that command alone.
    std::optional<Json::Value> command = jsonread::parseObject(cleanedText);
    if (!command)
        return Outcome::Unparsable;
    received.command = std::move(*command);
    received.type = jsonread::stringOf(received.command, "type").value_or(std::string());
    for (const Entry& entry : isHost ? m_host : m_viewer) {
        if (received.type != entry.type)
            continue;
        if (entry.sender == Sender::HostOnly && !(m_senderIsHost && m_senderIsHost(senderChatId)))
            return Outcome::FromOtherSender;
        return jsonread::guarded([&] { entry.handler(received); }) ? Outcome::Handled : Outcome::Failed;
    }
    return Outcome::Unknown;
}

} // namespace chatcommand
