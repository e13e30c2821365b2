// The service's state page, as a test that runs the service as a program of its own reads it.
#include <devservice/requestverifier.h>
#include <devservice/roomservice.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>
#include <devservice/statepage.h>

#include <korvex/zovnet.h>

#include <json/reader.h>
#include <json/writer.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUrlQuery>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using devservice::Service;
namespace wire = devservice::wire;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

std::string compact(const Json::Value& value)
{
    Json::FastWriter writer;
    writer.omitEndingLineFeed();
    return writer.write(value);
}

void sign(Json::Value& body)
{
    body[wire::kSignTime] = 1700000000;
    body[wire::kSignPlatform] = 1;
    body[wire::kSignPlatformType] = 1;
    body[wire::kSignClient] = wire::kSignClientText;
    body[wire::kSignAppVersion] = "1.0.0";
    body[wire::kSignAppName] = "Tavimeet";
    body[wire::kSignature] = devservice::md5Hex(devservice::signatureText(body));
}

bool waitFor(const std::function<bool()>& done, int deadlineMs = 30000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

const Json::Value* find(const Json::Value& list, const char* member, const Json::Value& value)
{
    for (const Json::Value& entry : list) {
        if (entry[member] == value)
            return &entry;
    }
    return nullptr;
}

class StatePageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service::Options options;
        options.https = false;
        rooms = devservice::addRoomServiceRoutes(options.routes);
        service = std::make_unique<Service>(options);
        devservice::addStatePage(*service, rooms);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }

    Json::Value post(const std::string& path, Json::Value body, const std::string& bearer = std::string())
    {
        if (path.rfind("/chat/", 0) != 0)
            sign(body);
        Zov_Client::ZovNet net(service->baseUrl());
        if (!bearer.empty())
            net.appendHeader("Authorization", "Bearer " + bearer);
        const Zov_Client::ZovResponse response = net.post(path, compact(body));
        EXPECT_EQ(response.status, 200) << path << ": " << response.body;
        const Json::Value reply = parse(response.body);
        EXPECT_EQ(reply[wire::kReplyCode].asInt(), 0) << path << ": " << response.body;
        return reply[wire::kReplyData];
    }

    // The page's reply object; `query` after "?".
    Json::Value page(const std::string& query = std::string())
    {
        const Zov_Client::ZovResponse response = Zov_Client::ZovNet(service->baseUrl())
                                                     .get(std::string(devservice::kStatePagePath) + (query.empty() ? "" : "?") + query);
        EXPECT_EQ(response.status, 200) << response.body;
        return parse(response.body);
    }

    std::shared_ptr<devservice::RoomService> rooms;
    std::unique_ptr<Service> service;
};

} // namespace

// A live meeting with its chat room and a silenced member connected from a phone: the page shows each as the
// service holds it, the requests as received; the room and the meeting are gone once disposed and deleted.
TEST_F(StatePageTest, ShowsMeetingsChatRoomsAndRequests)
{
    const Json::Value created = post("/chat/room/create", parse(R"({"password": "pw-1", "name": "周会"})"));
    const std::string roomId = created["room_id"].asString();
    ASSERT_FALSE(roomId.empty());
    Json::Value joinOwner(Json::objectValue);
    joinOwner["room_id"] = roomId;
    joinOwner["password"] = "pw-1";
    joinOwner["owner_key"] = created["owner_key"];
    const Json::Value owner = post("/chat/room/join", joinOwner);
    Json::Value joinGuest = joinOwner;
    joinGuest.removeMember("owner_key");
    const Json::Value guest = post("/chat/room/join", joinGuest);
    Json::Value forbid = joinGuest;
    forbid["token"] = owner["token"];
    forbid["user_id"] = guest["user_id"];
    forbid["forbid"] = true;
    post("/chat/room/forbid", forbid);

    QWebSocket phone;
    QUrl url(QString::fromStdString(service->baseUrl()).replace("http:", "ws:") + "/chat");
    QUrlQuery query;
    query.addQueryItem("room", QString::fromStdString(roomId));
    query.addQueryItem("token", QString::fromStdString(guest["token"].asString()));
    query.addQueryItem("name", QString::fromUtf8("手机"));
    query.addQueryItem("device", "Phone");
    url.setQuery(query);
    phone.open(url);
    ASSERT_TRUE(waitFor([&] { return phone.state() == QAbstractSocket::ConnectedState; })) << phone.errorString().toStdString();

    Json::Value meeting = parse(R"({"meetting_key": "K-1", "password": "", "title": "t", "token": "tok"})");
    post(devservice::paths::kCreateMeeting, meeting);
    Json::Value streamer = parse(R"({"meetting_key": "K-1", "stream_id": 77, "title": "t", "main": 1})");
    streamer["room_id"] = roomId;
    streamer["room_pwd"] = "pw-1";
    post(devservice::paths::kAddStreamer, streamer, "tok");

    // The members' state reaches the page once the room's thread has taken the connection.
    Json::Value state;
    ASSERT_TRUE(waitFor([&] {
        state = page();
        const Json::Value* room = find(state[wire::kReplyData]["chat_rooms"], "room_id", roomId);
        const Json::Value* member = room ? find((*room)["members"], "user_id", guest["user_id"]) : nullptr;
        return member && (*member)["connected"].asBool();
    })) << state.toStyledString();
    const Json::Value& result = state[wire::kReplyData];
    EXPECT_EQ(state[wire::kReplyCode].asInt(), 0);

    ASSERT_EQ(result["meetings"].size(), 1u) << state.toStyledString();
    const Json::Value& held = result["meetings"][0];
    EXPECT_EQ(held["meetting_key"], "K-1");
    EXPECT_EQ(held["room_id"], roomId);
    EXPECT_EQ(held["room_pwd"], "pw-1");
    EXPECT_TRUE(held["started"].asBool());
    ASSERT_EQ(held["streamers"].size(), 1u);
    EXPECT_EQ(held["streamers"][0]["stream_id"].asInt64(), 77);
    EXPECT_EQ(held["streamers"][0]["main"].asInt(), 1);
    EXPECT_FALSE(held.isMember("password"));

    const Json::Value& room = *find(result["chat_rooms"], "room_id", roomId);
    EXPECT_EQ(room["name"], "周会");
    ASSERT_EQ(room["members"].size(), 2u);
    const Json::Value& first = *find(room["members"], "user_id", owner["user_id"]);
    EXPECT_TRUE(first["owner"].asBool());
    EXPECT_FALSE(first["connected"].asBool());
    EXPECT_EQ(first["shutup"].asInt(), 0);
    EXPECT_EQ(first["chat_id"], owner["chat_id"]);
    const Json::Value& second = *find(room["members"], "user_id", guest["user_id"]);
    EXPECT_FALSE(second["owner"].asBool());
    EXPECT_EQ(second["shutup"].asInt(), 1);
    EXPECT_EQ(second["device"], "Phone");
    EXPECT_EQ(second["handle"], "手机");
    EXPECT_EQ(second["chat_id"], guest["chat_id"]);
    EXPECT_TRUE(room["kicked_out"].isArray() && room["kicked_out"].empty());
    EXPECT_TRUE(result["streams"].isArray() && result["streams"].empty()) << "nothing was published";

    // The requests as received, headers and plain body; the page itself is not among them.
    const Json::Value* registered = find(result["requests"], "path", devservice::paths::kAddStreamer);
    ASSERT_NE(registered, nullptr) << state.toStyledString();
    EXPECT_EQ(parse((*registered)["plain_body"].asString())["room_pwd"], "***") << "secrets are masked";
    EXPECT_EQ(parse((*registered)["plain_body"].asString())["meetting_key"], "K-1") << "the rest is shown";
    // No room password, owner key or join token in any recorded body; each masked where it was.
    const std::vector<std::string> secrets { "pw-1", created["owner_key"].asString(), owner["token"].asString(),
        guest["token"].asString() };
    for (const std::string& secret : secrets)
        ASSERT_GE(secret.size(), 4u);
    int maskedMembers = 0;
    for (const Json::Value& recorded : result["requests"]) {
        const std::string body = recorded["plain_body"].asString();
        for (const std::string& secret : secrets)
            EXPECT_EQ(body.find(secret), std::string::npos) << recorded.toStyledString();
        const Json::Value members = parse(body);
        for (const char* name : { "password", "owner_key", "token", "room_pwd" })
            maskedMembers += members.isObject() && members[name] == "***" ? 1 : 0;
    }
    // the room's creation, the owner's join (password, owner key), the guest's, the forbid (password, token),
    // the meeting's creation (its token; its empty password stays empty), the streamer (room_pwd)
    EXPECT_EQ(maskedMembers, 1 + 2 + 1 + 2 + 1 + 1) << result["requests"].toStyledString();
    EXPECT_EQ((*registered)["method"], "POST");
    EXPECT_TRUE((*registered)["problem"].asString().empty());
    bool bearer = false;
    for (const Json::Value& header : (*registered)["headers"])
        bearer |= header[0] == "authorization" && header[1] == "Bearer tok";
    EXPECT_TRUE(bearer) << registered->toStyledString();
    for (const devservice::RecordedRequest& recorded : service->requests())
        EXPECT_NE(recorded.path, devservice::kStatePagePath);
    EXPECT_EQ(find(result["requests"], "path", devservice::kStatePagePath), nullptr);

    // Only the parts asked for; an unknown part is refused by name.
    const Json::Value some = page("only=chat_rooms,streams")[wire::kReplyData];
    EXPECT_EQ(some.getMemberNames(), (std::vector<std::string> { "chat_rooms", "streams" }));
    const Json::Value refused = page("only=meetings,rooms");
    EXPECT_EQ(refused[wire::kReplyCode].asInt(), 400);
    EXPECT_NE(refused[wire::kReplyMessage].asString().find("\"rooms\""), std::string::npos) << refused.toStyledString();

    // Disposed and deleted: gone from the page.
    Json::Value dispose = joinGuest;
    dispose["token"] = owner["token"];
    post("/chat/room/dispose", dispose);
    post(devservice::paths::kDeleteMeeting, parse(R"({"meetting_key": "K-1"})"), "tok");
    const Json::Value after = page("only=meetings,chat_rooms")[wire::kReplyData];
    EXPECT_TRUE(after["meetings"].isArray() && after["meetings"].empty()) << after.toStyledString();
    EXPECT_TRUE(after["chat_rooms"].isArray() && after["chat_rooms"].empty()) << after.toStyledString();
    const Json::Value deleted = *find(page("only=requests")[wire::kReplyData]["requests"], "path", devservice::paths::kDeleteMeeting);
    EXPECT_EQ(parse(deleted["plain_body"].asString())["meetting_key"], "K-1");
}
