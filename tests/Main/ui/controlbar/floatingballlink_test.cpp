// The floating ball's link over a real loopback TCP connection, framed as the ball frames: a 32-bit
// little-endian length, then the UTF-8 text.
#include "controlbar_support.h"

#include "app/localserver.h"
#include "global/meetingkeys.h"
#include "global/meetingprompt.h"
#include "ui/part/floatingballlink.h"
#include "ui/part/meetingmainctrlform.h"

#include <gtest/gtest.h>

#include <json/json.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace {

QByteArray frame(const QByteArray& text)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(quint32(text.size()), bytes.data());
    return bytes + text;
}

class BallLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        setData(kDataMeetingIsHost, bg::Value(true));
        deliverNow(createMeeting(2));
        window.resize(400, 300);
        ASSERT_TRUE(server.listen(0));
        link.setServer(&server);
        link.showChatRoom = [this] { ++chatRooms; };
        link.showMemberList = [this] { ++memberLists; };
        ball.connectToHost(QHostAddress::LocalHost, server.serverPort());
        ASSERT_TRUE(ball.waitForConnected(5000));
        ASSERT_TRUE(spinUntil([&] { return server.peerCount() == 1; }));
    }
    void TearDown() override { setMeetingPromptHook({}); }

    // Sends one framed text and lets the server handle it.
    void send(const QByteArray& text)
    {
        ball.write(frame(text));
        ball.flush();
        const int before = received;
        spinUntil([&] { return received > before; });
    }

    // The next framed text from the meeting, parsed.
    Json::Value next()
    {
        spinUntil([&] {
            return pending.size() >= 4
                && pending.size() >= 4 + int(qFromLittleEndian<quint32>(pending.constData()));
        });
        if (pending.size() < 4)
            return Json::Value();
        const int length = int(qFromLittleEndian<quint32>(pending.constData()));
        const QByteArray text = pending.mid(4, length);
        pending.remove(0, 4 + length);
        Json::Value value;
        Json::Reader().parse(text.toStdString(), value);
        return value;
    }

    QWidget window;
    MeetingMainCtrlForm* bar = new MeetingMainCtrlForm(&window);
    LocalServer server;
    FloatingBallLink link { &window, bar };
    QTcpSocket ball;
    QByteArray pending;
    int received = 0;
    int chatRooms = 0;
    int memberLists = 0;
    QMetaObject::Connection counting = QObject::connect(&server, &LocalServer::message, [this] { ++received; });
    QMetaObject::Connection reading
        = QObject::connect(&ball, &QTcpSocket::readyRead, [this] { pending += ball.readAll(); });
};

TEST_F(BallLinkTest, CloseWhileMinimisedRestoresTheWindowAndEndsTheMeeting)
{
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    PostedEvents posted { UserEventType::CloseMeeting };
    send(R"({"type":"close"})");
    posted.settle();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(posted.entries.size(), 1);
    EXPECT_EQ(posted.entries[0].type, UserEventType::CloseMeeting);
}

TEST_F(BallLinkTest, ShowRestoresAMinimisedWindow)
{
    window.showMinimized();
    send(R"({"type":"show"})");
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(BallLinkTest, CameraChatRoomAndMemberListReachTheirTargets)
{
    int prompts = 0;
    setMeetingPromptHook([&](const MeetingPrompt&) {
        ++prompts;
        return 0;
    });
    send(R"({"type":"camera"})");
    EXPECT_EQ(prompts, 1);
    send("{\n   \"type\" : \"chatroom\"\n}\n");
    send(R"({"type":"memberlist"})");
    EXPECT_EQ(chatRooms, 1);
    EXPECT_EQ(memberLists, 1);
}

TEST_F(BallLinkTest, JunkAndUnknownTypesAreIgnored)
{
    int prompts = 0;
    setMeetingPromptHook([&](const MeetingPrompt&) { return ++prompts, 0; });
    PostedEvents posted { UserEventType::CloseMeeting, UserEventType::Login, UserEventType::Pay };
    window.showMinimized();
    for (const char* text : { "not json", "", "[\"close\"]", "{\"type\":5}", "{\"kind\":\"close\"}",
             "{\"type\":\"Close\"}", "{\"type\":\"reboot\"}", "{\"type\":\"close\"" }) {
        SCOPED_TRACE(text);
        send(text);
    }
    // Nested deeper than any message of the ball: refused whole, even past a parser's own stack limit.
    for (int depth : { 100, 1001 }) {
        SCOPED_TRACE(depth);
        send(QByteArray(R"({"x":)") + QByteArray(depth, '[') + QByteArray(depth, ']') + R"(,"type":"close"})");
    }
    posted.settle();
    EXPECT_TRUE(posted.entries.isEmpty());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_EQ(prompts + chatRooms + memberLists, 0);
    // The link still answers after the junk.
    send(R"({"type":"chatroom"})");
    EXPECT_EQ(chatRooms, 1);
}

TEST_F(BallLinkTest, CameraDurationAndHideArriveFramed)
{
    link.sendCameraState(true);
    link.sendDuration(3725);
    link.sendHide();
    link.sendCameraState(false);
    const Json::Value camera = next();
    EXPECT_EQ(camera["type"].asString(), "camera");
    EXPECT_TRUE(camera["opened"].asBool());
    const Json::Value duration = next();
    EXPECT_EQ(duration["type"].asString(), "duration");
    EXPECT_EQ(duration["duration"].asInt64(), 3725);
    EXPECT_EQ(next()["type"].asString(), "hide");
    EXPECT_FALSE(next()["opened"].asBool());

    // With the server gone nothing is sent and nothing breaks.
    link.setServer(nullptr);
    link.sendHide();
    EXPECT_EQ(link.server(), nullptr);
}

} // namespace
