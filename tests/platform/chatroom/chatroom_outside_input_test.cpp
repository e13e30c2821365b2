// What the chat service sends is outside input: frames and administration replies of any shape are that
// frame's or that call's failure, and the client goes on.
#include "chatroom_harness.h"

#include <QHostAddress>
#include <QWebSocket>
#include <QWebSocketServer>

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace chattest;

std::string nested(int depth) { return std::string(size_t(depth), '[') + std::string(size_t(depth), ']'); }

// A room service of the test's own: it accepts one connection and sends what the test scripts.
class ScriptedRoom {
public:
    ScriptedRoom()
        : m_server(QStringLiteral("scripted"), QWebSocketServer::NonSecureMode)
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QWebSocketServer::newConnection,
            [this] { m_peer.reset(m_server.nextPendingConnection()); });
    }
    std::string address() const
    {
        return "ws://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/chat";
    }
    QWebSocket* peer() const { return m_peer.get(); }
    void send(const std::string& frame) { m_peer->sendTextMessage(QString::fromStdString(frame)); }

private:
    QWebSocketServer m_server;
    std::unique_ptr<QWebSocket> m_peer; // the connection the service accepted
};

// TCP_NODELAY of this process's socket whose local port is `port`; -1 when there is none.
int noDelayOfLocalPort(quint16 port)
{
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return -1;
    int found = -1;
    while (dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local {};
        socklen_t length = sizeof local;
        if (fd <= 2 || getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0
            || local.sin_family != AF_INET || ntohs(local.sin_port) != port)
            continue;
        int value = 0;
        socklen_t size = sizeof value;
        if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &size) == 0)
            found = value;
    }
    closedir(fds);
    return found;
}

class ChatRoomOutsideInput : public ::testing::Test {
protected:
    void TearDown() override { cr::setEndpointProvider(nullptr); }
};

TEST_F(ChatRoomOutsideInput, MalformedFramesAreIgnoredAndTheRoomGoesOn)
{
    ScriptedRoom service;
    cr::setEndpointProvider([&] { return cr::Endpoints { "http://127.0.0.1:1", service.address() }; });
    Recorder callback;
    cr::ChatRoom room(&callback);
    ASSERT_TRUE(room.wsConnect("1", "token", "me", 1, "", true));
    ASSERT_TRUE(waitFor([&] { return callback.count("connected") == 1 && service.peer(); }));

    // Frames are small and go out at once: the client's connection does not wait to coalesce them.
    EXPECT_EQ(noDelayOfLocalPort(service.peer()->peerPort()), 1);

    const std::string deepUserData = "\"" + nested(1001) + "\"";
    struct Case {
        const char* name;
        std::string frame;
        const char* delivered; // the callback it still makes, or nullptr when it is ignored
    };
    const Case cases[] = {
        { "peer that is no object", R"({"event":"self","peer":1})", nullptr },
        { "sender that is no object", R"({"event":"text","from":"x","text":"t"})", nullptr },
        { "time out of range", R"({"event":"text","from":{"id":"a"},"text":"t","time":1e19})", nullptr },
        { "time that is no integer", R"({"event":"cmd","from":{"id":"a"},"command":"c","time":"5"})",
            nullptr },
        { "silence out of range", R"({"event":"forbidden","shutup":4294967296})", nullptr },
        { "frame nested too deep", R"({"event":"left","peer":{"id":"a","x":)" + nested(1001) + "}}",
            nullptr },
        { "user data nested too deep",
            R"({"event":"joined","peer":{"id":"a","user_data":)" + nested(1001) + "}}", nullptr },
        { "event that is no text", R"({"event":["self"]})", nullptr },
        { "not an object", "[1]", nullptr },
        { "not JSON", "{\"event\":", nullptr },
        // The peer's own data is text of another client: unreadable, it names no device.
        { "user data text nested too deep",
            R"({"event":"joined","peer":{"id":"a","handle":"b","user_data":)" + deepUserData + "}}",
            "joined" },
    };
    int marker = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = callback.events.size();
        service.send(c.frame);
        const std::string text = "marker " + std::to_string(++marker);
        service.send(R"({"event":"text","from":{"id":"m","handle":"h"},"text":")" + text + R"(","time":5})");
        ASSERT_TRUE(waitFor([&] {
            return !callback.events.empty() && callback.events.back().slot == "text"
                && callback.events.back().args[2] == text;
        }));
        const std::vector<Event> got(callback.events.begin() + long(before), callback.events.end() - 1);
        if (c.delivered) {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].slot, c.delivered);
        } else {
            EXPECT_TRUE(got.empty()) << got[0].slot;
        }
    }
    const std::vector<Event> joined = callback.named("joined");
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].args[0], "a");
    EXPECT_EQ(joined[0].args[2], "") << "no device";
    EXPECT_EQ(callback.count("disconnected"), 0);
}

class ChatRoomOutsideReplies : public ServiceFixture { };

TEST_F(ChatRoomOutsideReplies, MalformedRepliesFailTheirCallAlone)
{
    host();
    Member& owner = *members[0];
    const auto reply = [](std::string body) {
        devservice::ScriptedReply scripted;
        scripted.rawBody = std::move(body);
        return scripted;
    };
    struct Case {
        const char* name;
        const char* path;
        std::string body;
    };
    const Case cases[] = {
        { "error code out of range", "/chat/room/create", R"({"errcode":4294967296,"errmsg":""})" },
        { "error code that is no integer", "/chat/room/create",
            R"({"errcode":"0","result":{"room_id":"5"}})" },
        { "result that is no object", "/chat/room/create", R"({"errcode":0,"result":1})" },
        { "reply nested too deep", "/chat/room/create",
            R"({"errcode":0,"result":{"x":)" + nested(1001) + "}}" },
        { "not an object", "/chat/room/create", "[0]" },
        { "member id out of range", "/chat/room/join",
            R"({"errcode":0,"result":{"token":"t","user_id":1e19}})" },
        { "token that is no text", "/chat/room/join", R"({"errcode":0,"result":{"token":{},"user_id":5}})" },
        { "join result that is no object", "/chat/room/join", R"({"errcode":0,"result":"x"})" },
        { "dispose result that is no object", "/chat/room/dispose", R"({"errcode":0,"result":[1]})" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service->script(c.path, reply(c.body));
        std::string error;
        const std::string path = c.path;
        if (path == "/chat/room/create") {
            EXPECT_EQ(owner.room->createRoom({ "n", "Teacher", kPassword, 2 }, error), "");
        } else if (path == "/chat/room/join") {
            cr::ChatRoom::RespJoinRoom joined;
            EXPECT_FALSE(owner.room->joinRoom(roomId, 0, kPassword, joined, error));
            EXPECT_TRUE(joined.token.empty());
        } else {
            EXPECT_FALSE(owner.room->disposeRoom(roomId, kPassword, "", error));
        }
        EXPECT_FALSE(error.empty());
    }

    // The room and its connection are as they were.
    Member& alice = guest("alice");
    ASSERT_TRUE(alice.room->sendText("still here"));
    ASSERT_TRUE(waitFor([&] { return owner.callback.count("text") == 1; }));
    EXPECT_EQ(owner.callback.count("disconnected"), 0);
}

} // namespace
