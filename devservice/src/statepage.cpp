#include <devservice/statepage.h>

#include <devservice/mediaforwarder.h>
#include <devservice/secrets.h>
#include <devservice/service.h>

#include <json/writer.h>

#include <QString>
#include <QUrlQuery>

#include <algorithm>
#include <array>

namespace devservice {

namespace {

    constexpr std::array<const char*, 4> kSections { "meetings", "chat_rooms", "streams", "requests" };

    Json::Value meetingsOf(const RoomService* rooms)
    {
        Json::Value list(Json::arrayValue);
        if (!rooms)
            return list;
        for (const RoomService::Meeting& meeting : rooms->meetings()) {
            Json::Value json = RoomService::stateOf(meeting);
            json["room_pwd"] = meeting.roomPwd; // the phone stand-in of the tests joins with it
            list.append(json);
        }
        return list;
    }

    Json::Value chatRoomsOf(const Service& service)
    {
        Json::Value list(Json::arrayValue);
        for (const ChatRoomSnapshot& room : service.chatRooms()) {
            Json::Value json(Json::objectValue);
            json["room_id"] = room.roomId;
            json["name"] = room.name;
            Json::Value members(Json::arrayValue);
            for (const ChatRoomSnapshot::Member& member : room.members) {
                Json::Value m(Json::objectValue);
                m["user_id"] = Json::Int64(member.memberId);
                m["chat_id"] = member.chatId;
                m["handle"] = member.handle;
                m["device"] = member.device;
                m["owner"] = member.owner;
                m["shutup"] = member.shutup;
                m["connected"] = member.connected;
                members.append(m);
            }
            json["members"] = members;
            Json::Value kicked(Json::arrayValue);
            for (long long id : room.kickedOut)
                kicked.append(Json::Int64(id));
            json["kicked_out"] = kicked;
            list.append(json);
        }
        return list;
    }

    Json::Value streamsOf(const Service& service)
    {
        Json::Value list(Json::arrayValue);
        const MediaForwarder* forwarder = service.forwarder();
        if (!forwarder)
            return list;
        for (long long id : forwarder->streams()) {
            Json::Value json(Json::objectValue);
            json["stream_id"] = Json::Int64(id);
            json["players"] = Json::UInt64(forwarder->playerCount(id));
            list.append(json);
        }
        return list;
    }

    Json::Value requestsOf(const Service& service)
    {
        Json::Value list(Json::arrayValue);
        for (const RecordedRequest& request : service.requests()) {
            Json::Value json(Json::objectValue);
            json["method"] = request.method;
            json["path"] = request.path;
            json["query"] = request.query;
            Json::Value headers(Json::arrayValue);
            for (const auto& [name, value] : request.headers) {
                Json::Value pair(Json::arrayValue);
                pair.append(name);
                pair.append(value);
                headers.append(pair);
            }
            json["headers"] = headers;
            // A JSON body is shown with its secrets masked, as the service's log would show them.
            if (request.members.isObject() || request.members.isArray()) {
                Json::FastWriter writer;
                writer.omitEndingLineFeed();
                json["plain_body"] = writer.write(maskedSecrets(request.members));
            } else {
                json["plain_body"] = request.plainBody;
            }
            json["problem"] = request.problem;
            list.append(json);
        }
        return list;
    }

} // namespace

bool serviceState(
    const Service& service, const RoomService* rooms, const std::string& sections, Json::Value& out, std::string* error)
{
    std::vector<std::string> wanted;
    for (const QString& name : QString::fromStdString(sections).split(',', Qt::SkipEmptyParts)) {
        const std::string section = name.trimmed().toStdString();
        if (std::find_if(kSections.begin(), kSections.end(), [&](const char* known) { return section == known; })
            == kSections.end()) {
            if (error)
                *error = "no section \"" + section + "\"; there are meetings, chat_rooms, streams and requests";
            return false;
        }
        wanted.push_back(section);
    }
    const auto want = [&](const char* section) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), section) != wanted.end();
    };
    out = Json::Value(Json::objectValue);
    if (want("meetings"))
        out["meetings"] = meetingsOf(rooms);
    if (want("chat_rooms"))
        out["chat_rooms"] = chatRoomsOf(service);
    if (want("streams"))
        out["streams"] = streamsOf(service);
    if (want("requests"))
        out["requests"] = requestsOf(service);
    return true;
}

void addStatePage(Service& service, std::shared_ptr<const RoomService> rooms)
{
    Route route;
    route.envelope = false;
    route.signedBody = false;
    route.recorded = false;
    route.handler = [&service, rooms](const RecordedRequest& request) {
        const QUrlQuery query(QString::fromStdString(request.query));
        Json::Value state;
        std::string error;
        if (!serviceState(service, rooms.get(), query.queryItemValue("only", QUrl::FullyDecoded).toStdString(),
                state, &error))
            return ScriptedReply::failure(400, error);
        return ScriptedReply::success(state);
    };
    service.addRoute(kStatePagePath, std::move(route));
}

} // namespace devservice
