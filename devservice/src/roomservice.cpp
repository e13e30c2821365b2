#include <devservice/roomservice.h>

#include <devservice/jsonfields.h>
#include <devservice/mediaforwarder.h>
#include <devservice/servicetable.h>

#include <algorithm>

namespace devservice {

namespace {

    std::string origin(const RecordedRequest& request, const char* scheme)
    {
        return std::string(scheme) + (request.secure ? "s" : "") + "://" + request.header("host");
    }

    // The token of the "Authorization: Bearer <token>" header; empty without one.
    std::string bearer(const RecordedRequest& request)
    {
        const std::string header = request.header("authorization");
        const std::string prefix = "Bearer ";
        return header.compare(0, prefix.size(), prefix) == 0 ? header.substr(prefix.size()) : std::string();
    }

    bool text(const Json::Value& members, const char* name, std::string& out, bool required = true)
    {
        const Json::Value& value = jsonfields::member(members, name);
        if (value.isNull() && !required) {
            out.clear();
            return true;
        }
        const std::optional<std::string> found = jsonfields::toString(value);
        if (!found)
            return false;
        out = *found;
        return true;
    }

    ScriptedReply badMember(const char* name)
    {
        return ScriptedReply::failure(room::kBadRequest, std::string("\"") + name + "\" is missing or malformed");
    }

} // namespace

bool RoomService::Meeting::started() const
{
    return std::any_of(streamers.begin(), streamers.end(), [](const Streamer& s) { return s.main; });
}

RoomService::RoomService(RoomServiceOptions options)
    : m_options(std::move(options))
{
}

void RoomService::report(const std::string& line) const
{
    if (m_options.log)
        m_options.log(line);
}

Json::Value RoomService::meetingJson(const RecordedRequest& request, const Meeting& meeting, bool forViewer) const
{
    Json::Value json(Json::objectValue);
    json["meetting_key"] = meeting.key;
    json["chat_host"] = origin(request, "http");
    json["chat_wss"] = origin(request, "ws") + "/chat";
    json["duration"] = Json::Int64(m_options.duration);
    json["viewer"] = m_options.viewer;
    json["pusher"] = m_options.pusher;
    if (forViewer) {
        json["room_id"] = meeting.roomId;
        json["room_pwd"] = meeting.roomPwd;
        json["title"] = meeting.title;
        Json::Value streamers(Json::arrayValue);
        for (const Streamer& streamer : meeting.streamers) {
            Json::Value s(Json::objectValue);
            s["stream_id"] = Json::Int64(streamer.streamId);
            s["main"] = streamer.main ? 1 : 0;
            s["title"] = streamer.title;
            streamers.append(s);
        }
        json["streamers"] = streamers;
    }
    return json;
}

ScriptedReply RoomService::create(const RecordedRequest& request)
{
    const Json::Value& members = request.members;
    Meeting meeting;
    if (!members.isObject() || !text(members, "meetting_key", meeting.key) || meeting.key.empty())
        return badMember("meetting_key");
    if (!text(members, "password", meeting.password, false))
        return badMember("password");
    if (!text(members, "title", meeting.title, false))
        return badMember("title");
    if (!text(members, "token", meeting.creatorToken, false))
        return badMember("token");
    if (meeting.creatorToken.empty())
        meeting.creatorToken = bearer(request);

    Json::Value result(Json::objectValue);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_meetings.count(meeting.key))
            return ScriptedReply::failure(room::kKeyTaken, "room number " + meeting.key + " is taken");
        result["meetting"] = meetingJson(request, meeting, false);
        m_meetings[meeting.key] = meeting;
    }
    report("room: created meeting " + meeting.key);
    return ScriptedReply::success(result);
}

ScriptedReply RoomService::join(const RecordedRequest& request)
{
    const Json::Value& members = request.members;
    std::string key, name, password;
    if (!members.isObject() || !text(members, "meetting_key", key))
        return badMember("meetting_key");
    if (!text(members, "user_name", name, false))
        return badMember("user_name");
    if (!text(members, "password", password, false))
        return badMember("password");

    Json::Value result(Json::objectValue);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_meetings.find(key);
        if (found == m_meetings.end())
            return ScriptedReply::failure(room::kNoSuchMeeting, "no meeting " + key);
        const Meeting& meeting = found->second;
        if (meeting.password != room::kOpenPassword && password != meeting.password)
            return ScriptedReply::failure(room::kWrongPassword, "密码错误");
        if (!meeting.started())
            return ScriptedReply::failure(room::kNotStarted, "直播尚未开始");
        result["meetting"] = meetingJson(request, meeting, true);
    }
    // A stream whose publisher has left is no longer offered.
    if (request.forwarder) {
        Json::Value live(Json::arrayValue);
        for (const Json::Value& streamer : result["meetting"]["streamers"]) {
            if (request.forwarder->holds(jsonfields::int64Of(streamer, "stream_id").value_or(0)))
                live.append(streamer);
        }
        result["meetting"]["streamers"] = live;
    }
    report("room: " + name + " joined meeting " + key);
    return ScriptedReply::success(result);
}

ScriptedReply RoomService::addStreamer(const RecordedRequest& request)
{
    const Json::Value& members = request.members;
    std::string key, roomId, roomPwd, title;
    if (!members.isObject() || !text(members, "meetting_key", key))
        return badMember("meetting_key");
    const std::optional<int64_t> id = jsonfields::int64Of(members, "stream_id");
    if (!id || *id <= 0 || *id > room::kMaxStreamId)
        return badMember("stream_id");
    if (!text(members, "room_id", roomId, false) || !text(members, "room_pwd", roomPwd, false)
        || !text(members, "title", title, false))
        return badMember("room_id, room_pwd or title");
    const Json::Value& mainMember = jsonfields::member(members, "main");
    const std::optional<int64_t> mainValue = jsonfields::toInt64(mainMember);
    if (!mainMember.isNull() && !mainValue)
        return badMember("main");
    const bool main = mainValue == 1;

    Streamer streamer;
    streamer.streamId = *id;
    streamer.main = main;
    streamer.title = title;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_meetings.find(key);
        if (found == m_meetings.end())
            return ScriptedReply::failure(room::kNoSuchMeeting, "no meeting " + key);
        Meeting& meeting = found->second;
        if (main) {
            if (bearer(request) != meeting.creatorToken)
                return ScriptedReply::failure(room::kNotCreator, "only the meeting's creator registers its main stream");
            meeting.roomId = roomId;
            meeting.roomPwd = roomPwd;
            for (Streamer& other : meeting.streamers)
                other.main = false;
        }
        meeting.streamers.push_back(streamer);
    }
    if (main && request.forwarder)
        request.forwarder->setMainStream(key, streamer.streamId);
    report("room: registered " + std::string(main ? "main " : "") + "stream " + std::to_string(streamer.streamId)
        + " in meeting " + key);
    return ScriptedReply::success();
}

ScriptedReply RoomService::remove(const RecordedRequest& request)
{
    const Json::Value& members = request.members;
    std::string key;
    if (!members.isObject() || !text(members, "meetting_key", key))
        return badMember("meetting_key");
    Meeting meeting;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_meetings.find(key);
        if (found == m_meetings.end())
            return ScriptedReply::failure(room::kNoSuchMeeting, "no meeting " + key);
        if (bearer(request) != found->second.creatorToken)
            return ScriptedReply::failure(room::kNotCreator, "only the meeting's creator deletes it");
        meeting = found->second;
        m_meetings.erase(found);
    }
    // The meeting's publishers end with it.
    if (request.forwarder) {
        for (const Streamer& streamer : meeting.streamers)
            request.forwarder->close(streamer.streamId);
    }
    report("room: deleted meeting " + key);
    return ScriptedReply::success();
}

Json::Value RoomService::stateOf(const Meeting& meeting)
{
    Json::Value json(Json::objectValue);
    json["meetting_key"] = meeting.key;
    json["title"] = meeting.title;
    json["room_id"] = meeting.roomId;
    json["started"] = meeting.started();
    Json::Value streamers(Json::arrayValue);
    for (const Streamer& streamer : meeting.streamers) {
        Json::Value s(Json::objectValue);
        s["stream_id"] = Json::Int64(streamer.streamId);
        s["main"] = streamer.main ? 1 : 0;
        streamers.append(s);
    }
    json["streamers"] = streamers;
    return json;
}

Json::Value RoomService::state() const
{
    Json::Value list(Json::arrayValue);
    for (const Meeting& meeting : meetings())
        list.append(stateOf(meeting));
    Json::Value result(Json::objectValue);
    result["meetings"] = list;
    return result;
}

std::vector<RoomService::Meeting> RoomService::meetings() const
{
    std::vector<Meeting> out;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_meetings)
        out.push_back(entry.second);
    return out;
}

std::shared_ptr<RoomService> addRoomServiceRoutes(RouteTable& routes, RoomServiceOptions options)
{
    auto service = std::make_shared<RoomService>(std::move(options));
    const auto add = [&](const char* path, ScriptedReply (RoomService::*call)(const RecordedRequest&)) {
        Route route;
        route.aesKey = keys::kCommon;
        route.envelope = false;
        route.handler = [service, call](const RecordedRequest& request) { return ((*service).*call)(request); };
        routes[std::string(paths::kCommandApiBase) + path] = route;
        routes[path] = route;
    };
    add(paths::kCreateMeeting, &RoomService::create);
    add(paths::kJoinMeeting, &RoomService::join);
    add(paths::kAddStreamer, &RoomService::addStreamer);
    add(paths::kDeleteMeeting, &RoomService::remove);

    Route state;
    state.aesKey = keys::kCommon;
    state.signedBody = false;
    state.handler = [service](const RecordedRequest&) { return ScriptedReply::success(service->state()); };
    routes["/room/state"] = state;
    return service;
}

} // namespace devservice
