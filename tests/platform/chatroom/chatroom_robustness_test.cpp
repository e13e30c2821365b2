// The chat-room client's lifetime rules, its trust in the service's certificate and how client and service
// take bad input.
#include "chatroom_harness.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebSocket>

#include <json/reader.h>

#include <mutex>

using namespace chattest;

namespace {

class ChatRoomLifetime : public ServiceFixture { };

std::mutex logMutex;
std::vector<std::string> logLines;

void keepLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(message.toStdString());
}

} // namespace

// A room deleted inside its own callback calls nothing further; the service sees it leave.
TEST_F(ChatRoomLifetime, DeletedInsideOnPeerJoined)
{
    host();
    Member& owner = *members[0];
    owner.callback.hook = [&](const Event& e) {
        if (e.slot == "joined")
            owner.room.reset();
    };
    Member& alice = guest("alice");
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("left") == 1; }));
    EXPECT_EQ(alice.callback.named("left")[0].args[0], owner.chatId());
    EXPECT_EQ(owner.callback.events.back().slot, "joined");
    EXPECT_EQ(owner.callback.count("disconnected"), 0);
}

// The room is deleted from a modal loop that its callback opened, while the connection keeps receiving:
// nothing reaches the callback any more and the connection is released only once the callback returned.
TEST_F(ChatRoomLifetime, DeletedInANestedLoopOfItsCallback)
{
    host();
    Member& alice = guest("alice");
    Member& bob = guest("bob");
    bool returned = false;
    alice.callback.hook = [&](const Event& e) {
        if (e.slot != "text")
            return;
        QEventLoop modal;
        QTimer::singleShot(0, &modal, [&] {
            alice.room.reset();
            bob.room->sendText("second");
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &modal, [&] {
            if (bob.callback.count("text") == 2)
                modal.quit();
        });
        poll.start(5);
        modal.exec();
        returned = true;
    };
    ASSERT_TRUE(bob.room->sendText("first"));
    ASSERT_TRUE(waitFor([&] { return returned; }));
    ASSERT_TRUE(waitFor([&] { return bob.callback.count("left") == 1; }));
    EXPECT_EQ(alice.callback.count("text"), 1);
    EXPECT_EQ(alice.callback.count("disconnected"), 0);
}

TEST_F(ChatRoomLifetime, AStoppedServiceIsReportedOnceToEachMember)
{
    host();
    guest("alice");
    service->stop();
    ASSERT_TRUE(waitFor([&] {
        return members[0]->callback.count("disconnected") == 1
            && members[1]->callback.count("disconnected") == 1;
    }));
    EXPECT_FALSE(members[0]->room->sendText("anyone?"));
}

TEST_F(ChatRoomLifetime, CallbacksRunOnTheThreadThatMadeTheRoom)
{
    host();
    QThread worker;
    worker.start();
    Recorder* callback = nullptr;
    cr::ChatRoom* room = nullptr;
    QObject anchor;
    anchor.moveToThread(&worker);
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            callback = new Recorder();
            room = new cr::ChatRoom(callback);
            cr::ChatRoom::RespJoinRoom joined;
            std::string error;
            room->joinRoom(roomId, 0, kPassword, joined, error);
            room->wsConnect(roomId, joined.token, "worker", joined.memberId, "", true);
        },
        Qt::BlockingQueuedConnection);
    ASSERT_TRUE(waitFor([&] { return members[0]->callback.count("joined") == 1; }));
    int peers = 0;
    ASSERT_TRUE(waitFor([&] {
        QMetaObject::invokeMethod(
            &anchor, [&] { peers = callback->count("peers"); }, Qt::BlockingQueuedConnection);
        return peers == 1;
    }));
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            for (const Event& e : callback->events)
                EXPECT_TRUE(e.onCreatingThread) << e.slot;
            delete room;
            delete callback;
        },
        Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

// The service's own authority is trusted through TAVICAST_CA_FILE, for the calls and for the room's
// connection; another one is not.
class ChatRoomTls : public ServiceFixture {
protected:
    ChatRoomTls() { https = true; }
    void SetUp() override
    {
        {
            std::lock_guard<std::mutex> lock(logMutex);
            logLines.clear();
        }
        previousHandler = qInstallMessageHandler(keepLog);
        ServiceFixture::SetUp();
    }
    void TearDown() override
    {
        ServiceFixture::TearDown();
        qInstallMessageHandler(previousHandler);
        // A connection handed to the chat rooms keeps working only if it moved threads cleanly.
        std::lock_guard<std::mutex> lock(logMutex);
        for (const std::string& line : logLines)
            EXPECT_EQ(line.find("Socket notifiers cannot be enabled or disabled from another thread"), std::string::npos);
    }
    QtMessageHandler previousHandler = nullptr;
};

TEST_F(ChatRoomTls, TheServicesAuthorityIsTrustedAndNoOther)
{
    host();
    Member& alice = guest("alice");
    ASSERT_TRUE(alice.room->sendText("over wss"));
    ASSERT_TRUE(waitFor([&] { return members[0]->callback.count("text") == 1; }));

    Member& stranger = *members.emplace_back(std::make_unique<Member>());
    std::string error;
    ASSERT_TRUE(stranger.room->joinRoom(roomId, 0, kPassword, stranger.joined, error)) << error;

    devservice::Service other;
    ASSERT_TRUE(other.start());
    ScopedEnv wrongAuthority("TAVICAST_CA_FILE", other.caFile());
    error.clear();
    cr::ChatRoom::RespJoinRoom refused;
    EXPECT_FALSE(stranger.room->joinRoom(roomId, 0, kPassword, refused, error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(stranger.room->wsConnect(
        roomId, stranger.joined.token, "stranger", stranger.joined.memberId, "", true));
    ASSERT_TRUE(waitFor([&] { return stranger.callback.count("disconnected") == 1; }));
    EXPECT_EQ(stranger.callback.count("connected"), 0);
    EXPECT_EQ(members[0]->callback.count("joined"), 1) << "alice only";
}

class ChatRoomBadInput : public ServiceFixture {
protected:
    void SetUp() override
    {
        previousHandler = qInstallMessageHandler(keepLog);
        ServiceFixture::SetUp();
    }
    void TearDown() override
    {
        ServiceFixture::TearDown();
        qInstallMessageHandler(previousHandler);
    }

    // A member whose connection is a bare WebSocket, so it can send what the client library never would.
    struct Raw {
        QWebSocket socket;
        std::vector<Json::Value> received;
    };
    std::unique_ptr<Raw> rawMember()
    {
        auto raw = std::make_unique<Raw>();
        cr::ChatRoom joiner(nullptr);
        cr::ChatRoom::RespJoinRoom joined;
        std::string error;
        EXPECT_TRUE(joiner.joinRoom(roomId, 0, kPassword, joined, error)) << error;
        secrets.push_back(joined.token);
        QObject::connect(
            &raw->socket, &QWebSocket::textMessageReceived, [r = raw.get()](const QString& frame) {
                Json::Value value;
                Json::Reader().parse(frame.toStdString(), value);
                r->received.push_back(value);
            });
        raw->socket.open(QUrl(QString::fromStdString(
            addresses().wss + "?room=" + roomId + "&token=" + joined.token + "&name=raw&device=PC")));
        EXPECT_TRUE(waitFor([&] { return raw->received.size() >= 2; })) << "self and peers";
        return raw;
    }

    static int count(const Raw& raw, const char* event)
    {
        int n = 0;
        for (const Json::Value& v : raw.received)
            n += v["event"].asString() == event ? 1 : 0;
        return n;
    }

    QtMessageHandler previousHandler = nullptr;
    std::vector<std::string> secrets { kPassword };
};

TEST_F(ChatRoomBadInput, EachBadInputFailsAloneAndNamesNoSecret)
{
    host();
    Member& owner = *members[0];
    Member& alice = guest("alice");
    secrets.push_back(owner.joined.token);
    secrets.push_back(alice.joined.token);

    // Refused calls.
    struct Call {
        const char* name;
        std::string roomId;
        std::string password;
    };
    for (const Call& call : { Call { "wrong password", roomId, "not-the-password" },
             Call { "unknown room", "999999", kPassword }, Call { "no room", "", kPassword } }) {
        SCOPED_TRACE(call.name);
        cr::ChatRoom::RespJoinRoom joined;
        std::string error;
        EXPECT_FALSE(alice.room->joinRoom(call.roomId, 0, call.password, joined, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find(kPassword), std::string::npos);
    }

    // A connection that names no member is refused before it opens.
    Member& intruder = *members.emplace_back(std::make_unique<Member>());
    ASSERT_TRUE(intruder.room->wsConnect(roomId, "forged-token", "intruder", 99, "", true));
    ASSERT_TRUE(waitFor([&] { return intruder.callback.count("disconnected") == 1; }));
    EXPECT_EQ(intruder.callback.count("connected"), 0);

    // The client refuses texts and commands over the room's limits.
    EXPECT_FALSE(alice.room->sendText(std::string(cr::ChatRoom::kMaxTextBytes + 1, 'x')));
    EXPECT_FALSE(alice.room->sendCommand(std::string(cr::ChatRoom::kMaxCommandBytes + 1, 'x')));

    // Frames: each answered with an error to its sender, or closing only its connection.
    std::unique_ptr<Raw> raw = rawMember();
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("joined") == 1; }));
    struct Frame {
        const char* name;
        QString frame;
    };
    const QString longText = QString::fromStdString(
        R"({"type":"text","text":")" + std::string(cr::ChatRoom::kMaxTextBytes + 1, 'x') + R"("})");
    const QString longCommand = QString::fromStdString(
        R"({"type":"cmd","command":")" + std::string(cr::ChatRoom::kMaxCommandBytes + 1, 'x') + R"("})");
    for (const Frame& frame : { Frame { "not JSON", "hello" }, Frame { "no type", "{}" },
             Frame { "unknown type", R"({"type":"shout"})" }, Frame { "text over the limit", longText },
             Frame { "command over the limit", longCommand } }) {
        SCOPED_TRACE(frame.name);
        const int errors = count(*raw, "error");
        raw->socket.sendTextMessage(frame.frame);
        ASSERT_TRUE(waitFor([&] { return count(*raw, "error") == errors + 1; }));
    }
    EXPECT_EQ(alice.callback.count("text") + alice.callback.count("cmd"), 0);

    // A frame over 64 KiB closes that connection and no other.
    raw->socket.sendTextMessage(QString(70 * 1024, 'x'));
    ASSERT_TRUE(
        waitFor([&] { return alice.callback.count("left") == 1 && owner.callback.count("left") == 1; }));
    ASSERT_TRUE(alice.room->sendText("still here"));
    ASSERT_TRUE(waitFor([&] { return owner.callback.count("text") == 1; }));
    EXPECT_EQ(owner.callback.count("disconnected") + alice.callback.count("disconnected"), 0);

    // The service's rooms hold their members' credentials, but no log line does.
    const auto rooms = service->chatRooms();
    ASSERT_EQ(rooms.size(), 1u);
    ASSERT_EQ(rooms[0].members.size(), 3u);
    EXPECT_FALSE(rooms[0].members[2].connected);
    std::lock_guard<std::mutex> lock(logMutex);
    for (const std::string& line : logLines) {
        for (const std::string& secret : secrets)
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
}
