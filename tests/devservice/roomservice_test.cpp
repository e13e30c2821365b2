#include <devservice/roomservice.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using devservice::RecordedRequest;
using devservice::RoomService;
namespace room = devservice::room;

RecordedRequest request(const Json::Value& members, const std::string& token = std::string())
{
    RecordedRequest r;
    r.members = members;
    r.headers.emplace_back("host", "127.0.0.1:1");
    if (!token.empty())
        r.headers.emplace_back("authorization", "Bearer " + token);
    return r;
}

Json::Value create(const std::string& key, const std::string& password, const std::string& token)
{
    Json::Value m;
    m["meetting_key"] = key;
    m["password"] = password;
    m["title"] = "周会";
    m["token"] = token;
    return m;
}

Json::Value streamer(const std::string& key, long long id, int main, const std::string& roomId = "7")
{
    Json::Value m;
    m["meetting_key"] = key;
    m["stream_id"] = Json::Int64(id);
    m["title"] = "周会";
    m["main"] = main;
    m["room_id"] = roomId;
    m["room_pwd"] = "room-secret";
    return m;
}

Json::Value join(const std::string& key, const std::string& password)
{
    Json::Value m;
    m["meetting_key"] = key;
    m["user_name"] = "小明";
    m["password"] = password;
    return m;
}

// Each row acts on a service holding meeting "A" (password "1234", creator "tok-a", main stream 11 in chat
// room "7") and meeting "O" (no password, creator "tok-o", not started), and expects an error code.
TEST(RoomServiceTest, SettledRules)
{
    struct Row {
        const char* what;
        std::function<devservice::ScriptedReply(RoomService&)> call;
        int errcode;
    };
    const std::vector<Row> rows = {
        { "a taken key", [](RoomService& s) { return s.create(request(create("A", "1", "tok-x"))); },
            room::kKeyTaken },
        { "a new key", [](RoomService& s) { return s.create(request(create("B", "1", "tok-x"))); }, 0 },
        { "join an unknown key", [](RoomService& s) { return s.join(request(join("Z", "1234"))); },
            room::kNoSuchMeeting },
        { "join before the main stream", [](RoomService& s) { return s.join(request(join("O", ""))); },
            room::kNotStarted },
        { "join with the password", [](RoomService& s) { return s.join(request(join("A", "1234"))); }, 0 },
        { "join with another password", [](RoomService& s) { return s.join(request(join("A", "4321"))); },
            room::kWrongPassword },
        { "join with no password", [](RoomService& s) { return s.join(request(join("A", ""))); },
            room::kWrongPassword },
        { "main stream without the creator's token",
            [](RoomService& s) { return s.addStreamer(request(streamer("A", 12, 1), "tok-x")); },
            room::kNotCreator },
        { "a side stream from anyone",
            [](RoomService& s) { return s.addStreamer(request(streamer("A", 13, 0), "tok-x")); }, 0 },
        { "stream id 2^31", [](RoomService& s) { return s.addStreamer(request(streamer("A", 1LL << 31, 0))); },
            room::kBadRequest },
        { "stream of an unknown key",
            [](RoomService& s) { return s.addStreamer(request(streamer("Z", 5, 0))); }, room::kNoSuchMeeting },
        { "delete by another", [](RoomService& s) { return s.remove(request(create("A", "", ""), "tok-o")); },
            room::kNotCreator },
        { "delete an unknown key", [](RoomService& s) { return s.remove(request(create("Z", "", ""), "tok-a")); },
            room::kNoSuchMeeting },
        { "delete by the creator",
            [](RoomService& s) { return s.remove(request(create("A", "", ""), "tok-a")); }, 0 },
        { "create without a key", [](RoomService& s) { return s.create(request(Json::Value(Json::objectValue))); },
            room::kBadRequest },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RoomService service;
        ASSERT_EQ(service.create(request(create("A", "1234", "tok-a"))).errcode, 0);
        ASSERT_EQ(service.create(request(create("O", room::kOpenPassword, "tok-o"))).errcode, 0);
        ASSERT_EQ(service.addStreamer(request(streamer("A", 11, 1), "tok-a")).errcode, 0);
        EXPECT_EQ(row.call(service).errcode, row.errcode);
    }
}

TEST(RoomServiceTest, JoinGivesTheRoomAndTheStreamersInsideTheMeeting)
{
    devservice::RoomServiceOptions options;
    options.pusher = 2;
    options.duration = 600;
    std::vector<std::string> log;
    options.log = [&](const std::string& line) { log.push_back(line); };
    RoomService service(options);

    const auto created = service.create(request(create("K", room::kOpenPassword, "tok")));
    ASSERT_EQ(created.errcode, 0);
    EXPECT_EQ(created.result["meetting"]["pusher"].asInt(), 2);
    EXPECT_EQ(created.result["meetting"]["duration"].asInt64(), 600);
    EXPECT_EQ(created.result["meetting"]["chat_wss"].asString(), "ws://127.0.0.1:1/chat");
    ASSERT_EQ(service.addStreamer(request(streamer("K", 40, 1, "99"), "tok")).errcode, 0);
    ASSERT_EQ(service.addStreamer(request(streamer("K", 41, 0))).errcode, 0);

    // A meeting made without password admits any.
    const auto joined = service.join(request(join("K", "whatever")));
    ASSERT_EQ(joined.errcode, 0) << joined.errmsg;
    const Json::Value& meeting = joined.result["meetting"];
    EXPECT_EQ(meeting["room_id"].asString(), "99");
    EXPECT_EQ(meeting["room_pwd"].asString(), "room-secret");
    EXPECT_EQ(meeting["title"].asString(), "周会");
    ASSERT_EQ(meeting["streamers"].size(), 2u);
    EXPECT_EQ(meeting["streamers"][0]["stream_id"].asInt64(), 40);
    EXPECT_EQ(meeting["streamers"][0]["main"].asInt(), 1);
    EXPECT_FALSE(joined.result.isMember("streamers"));

    const Json::Value state = service.state();
    ASSERT_EQ(state["meetings"].size(), 1u);
    EXPECT_TRUE(state["meetings"][0]["started"].asBool());
    EXPECT_FALSE(state.toStyledString().find("room-secret") != std::string::npos) << "no password in the state";

    ASSERT_EQ(service.remove(request(create("K", "", ""), "tok")).errcode, 0);
    EXPECT_TRUE(service.meetings().empty());
    EXPECT_EQ(log, (std::vector<std::string> { "room: created meeting K", "room: registered main stream 40 in meeting K",
                       "room: registered stream 41 in meeting K", "room: 小明 joined meeting K",
                       "room: deleted meeting K" }));
}

} // namespace
