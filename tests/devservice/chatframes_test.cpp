// What members send into a chat room over their WebSocket: frames of the wrong shape are refused to their
// sender and reach nobody else.
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include <korvex/zovnet.h>

#include <json/reader.h>
#include <json/writer.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <functional>

using devservice::Service;
namespace wire = devservice::wire;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

bool waitFor(const std::function<bool()>& done, int deadlineMs = 20000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A member's connection, keeping every event it receives.
struct Member {
    QWebSocket socket;
    std::vector<Json::Value> events;

    Member()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
            [this](const QString& frame) { events.push_back(parse(frame.toStdString())); });
    }

    std::vector<Json::Value> named(const std::string& event) const
    {
        std::vector<Json::Value> out;
        for (const Json::Value& e : events) {
            if (e["event"] == event)
                out.push_back(e);
        }
        return out;
    }
};

class ChatFramesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service::Options options;
        options.https = false;
        service = std::make_unique<Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }

    Json::Value call(const std::string& action, const std::string& body)
    {
        const Zov_Client::ZovResponse response
            = Zov_Client::ZovNet(service->baseUrl()).post("/chat/room/" + action, body);
        return parse(response.body)[wire::kReplyData];
    }

    void connect(Member& member, const std::string& roomId, const std::string& token, const char* name)
    {
        QUrl url(QString::fromStdString(service->baseUrl()).replace("http:", "ws:") + "/chat");
        QUrlQuery query;
        query.addQueryItem("room", QString::fromStdString(roomId));
        query.addQueryItem("token", QString::fromStdString(token));
        query.addQueryItem("name", name);
        url.setQuery(query);
        member.socket.open(url);
        ASSERT_TRUE(waitFor([&] { return !member.named("peers").empty(); }))
            << member.socket.errorString().toStdString();
    }

    std::unique_ptr<Service> service;
};

} // namespace

TEST_F(ChatFramesTest, FramesOfTheWrongShapeAreRefusedToTheirSenderOnly)
{
    const Json::Value room = call("create", R"({"password":"p"})");
    const std::string roomId = room["room_id"].asString();
    const Json::Value host = call("join",
        R"({"room_id":")" + roomId + R"(","password":"p","owner_key":")" + room["owner_key"].asString() + R"("})");
    const Json::Value guest = call("join", R"({"room_id":")" + roomId + R"(","password":"p"})");
    Member hostSide, guestSide;
    connect(hostSide, roomId, host["token"].asString(), "host");
    connect(guestSide, roomId, guest["token"].asString(), "guest");

    const char* malformed[] = {
        R"({"type":"text","text":5})",
        R"({"type":"text","text":{"a":1}})",
        R"({"type":"text"})",
        R"({"type":"cmd"})",
        R"({"type":"cmd","command":["stream_end"]})",
        R"({"type":"cmd","command":null})",
        R"({"type":7})",
        R"([{"type":"text","text":"x"}])",
    };
    for (const char* frame : malformed) {
        SCOPED_TRACE(frame);
        const size_t errors = guestSide.named("error").size();
        guestSide.socket.sendTextMessage(QString::fromUtf8(frame));
        ASSERT_TRUE(waitFor([&] { return guestSide.named("error").size() > errors; }));
    }
    // A sound frame after them comes through; nothing before it did.
    guestSide.socket.sendTextMessage(R"({"type":"cmd","command":"{\"type\":\"ping\"}"})");
    ASSERT_TRUE(waitFor([&] { return !hostSide.named("cmd").empty(); }));
    ASSERT_EQ(hostSide.named("cmd").size(), 1u);
    EXPECT_EQ(hostSide.named("cmd")[0]["command"], R"({"type":"ping"})");
    EXPECT_TRUE(hostSide.named("text").empty());
    EXPECT_TRUE(hostSide.named("error").empty());
}

// The reading of one frame on its own, for the shapes the room takes.
TEST(ChatFrameReading, TakesTextsAndCommandsOfTheirLimits)
{
    using Frame = devservice::ChatRoomService::Frame;
    const std::string longText(devservice::ChatRoomService::kMaxTextBytes + 1, 'x');
    const struct {
        std::string frame;
        Frame::Kind kind;
        std::string content;
    } cases[] = {
        { R"({"type":"text","text":"你好"})", Frame::Text, "你好" },
        { R"({"type":"cmd","command":""})", Frame::Command, "" },
        { R"({"type":"text","text":")" + longText + R"("})", Frame::Refused, "" },
        { R"({"type":"text","text":")" + longText.substr(1) + R"("})", Frame::Text, longText.substr(1) },
        { R"({"type":"cmd","command":1e19})", Frame::Refused, "" },
        { R"({"type":"shout","text":"x"})", Frame::Refused, "" },
        { R"({"type":"text","text":"x","x":)" + std::string(1001, '[') + std::string(1001, ']') + "}",
            Frame::Refused, "" },
        { "not json", Frame::Refused, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame.substr(0, 60));
        const Frame read = devservice::ChatRoomService::readFrame(c.frame);
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_EQ(read.content, c.content);
        EXPECT_EQ(read.refusal.empty(), c.kind != Frame::Refused);
    }
}
