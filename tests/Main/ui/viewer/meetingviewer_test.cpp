// A viewer's meeting in the meeting form: the SDP answers, the chat-room commands of both roles, delays
// that end with the meeting, and frames from the connection's thread.
#include "viewer_support.h"

#include "global/chatroomendpoints.h"
#include "global/meetingprompt.h"
#include "media/painterwidget.h"
#include "ui/part/chatcommands.h"

#include "Main/event_recorder.h"

#include <thread>

using namespace viewertest;

namespace {

int callsNamed(const zovwebrtc::ScriptedEngine& engine, const char* name) { return int(engine.calls(name).size()); }

class ViewerAnswers : public ViewerFixture { };

TEST_F(ViewerAnswers, FirstFailureAsksToJoinAgainLaterOnesSayTheStreamBroke)
{
    const struct {
        const char* what;
        int successesFirst;
        const char* notice;
    } cases[] = {
        { "the first answer fails", 0, "提示|加入直播失败。\n错误: no stream" },
        { "a later answer fails", 1, "提示|直播已断开" },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        notices.clear();
        const int connection = engine->connectionCount();
        join();
        ASSERT_TRUE(engine->waitForConnections(connection + 1));
        for (int i = 0; i < row.successesFirst; ++i)
            answer(connection, success());
        EXPECT_FALSE(form->isClosing());
        answer(connection, devservice::ScriptedReply::failure(1, "no stream"));
        EXPECT_EQ(notices, QStringList { QString::fromUtf8(row.notice) });
        EXPECT_TRUE(form->isClosing());
        EXPECT_EQ(form->mainPull(), nullptr);
    }
}

TEST_F(ViewerAnswers, ChatRoomJoinedOnceOverRepeatedAnswers)
{
    join(78187493520LL);
    ASSERT_TRUE(engine->waitForConnections(1));
    for (int i = 0; i < 3; ++i)
        answer(0, success());
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
    EXPECT_EQ(chat->callsNamed("joinRoom").size(), 1u);
    EXPECT_EQ(chat->callsNamed("wsConnect").size(), 1u);
    EXPECT_EQ(form->selfMemberId(), kSelfId);
    EXPECT_TRUE(engine->waitForCalls("setRemoteDescription", 3));
    EXPECT_EQ(engine->calls("setRemoteDescription").back().arguments.back(), "v=0 answer");
    // The request named the stream with its 64-bit id and the connection by its id.
    const auto requests = s_service->requests();
    const auto sdp = std::find_if(requests.begin(), requests.end(),
        [](const devservice::RecordedRequest& r) { return r.path.rfind("/test/getRtcSdp", 0) == 0; });
    ASSERT_NE(sdp, requests.end());
    EXPECT_EQ(sdp->members["stream_id"].asInt64(), 78187493520LL);
    EXPECT_EQ(sdp->members["type"].asInt(), 1);
    EXPECT_FALSE(form->isClosing());
}

TEST_F(ViewerAnswers, ThreeFailedJoinsCloseTheMeeting)
{
    chat->succeed = false;
    DebugLines log;
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    EXPECT_EQ(chat->callsNamed("joinRoom").size(), 3u);
    EXPECT_EQ(log.starting(QStringLiteral("joinRoom fail! error: ")).size(), 3);
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|加入聊天室失败") });
    EXPECT_TRUE(form->isClosing());
    // The room password never reaches the log.
    for (const QString& line : log.lines())
        EXPECT_FALSE(line.contains(QStringLiteral("room-secret"))) << line.toStdString();
}

// A room client whose administration calls succeed and whose socket cannot be opened.
class NoSocketRoom : public cr::Backend {
public:
    std::string createRoom(const cr::ChatRoom::ReqCreateRoom&, std::string&) override { return "1001"; }
    bool joinRoom(const std::string&, int64_t, const std::string&, cr::ChatRoom::RespJoinRoom& response,
        std::string&) override
    {
        response = { "token", 5 };
        ++joins;
        return true;
    }
    bool wsConnect(const std::string&, const std::string&, const std::string&, int64_t, const std::string&,
        bool) override
    {
        return false;
    }
    bool sendText(const std::string&) override { return false; }
    bool sendCommand(const std::string&) override { return false; }
    bool kickout(const cr::ChatRoom::ReqKickOut&, std::string&) override { return false; }
    bool forbiddenWords(const cr::ChatRoom::ReqForbiddenWords&, std::string&) override { return false; }
    bool disposeRoom(const std::string&, const std::string&, const std::string&, std::string&) override
    {
        return false;
    }
    static inline int joins = 0;
};

TEST_F(ViewerAnswers, ViewerWhoseChatSocketCannotOpenEndsItsMeeting)
{
    NoSocketRoom::joins = 0;
    cr::setBackendFactory([](cr::UICallback*) { return std::make_unique<NoSocketRoom>(); });
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|加入聊天室失败") });
    EXPECT_TRUE(form->isClosing());
    // The address does not get better with another join.
    EXPECT_EQ(NoSocketRoom::joins, 1);
    cr::setBackendFactory(nullptr);
}

// The host's room made and joined at the local service through the real client; the socket address is not
// one it can open.
TEST_F(ViewerAnswers, HostWithoutAUsableChatSocketAddressEndsItsMeeting)
{
    installChatRoomEndpoints();
    setData(kRoomIsHost, bg::Value(true));
    setData(kRoomPusherNum, bg::Value(4LL));
    const QString base = QString::fromStdString(s_service->baseUrl());
    for (const char* address : { "", "chat.example.org:81/ws", "http://127.0.0.1:1/ws", "ws://[::1" }) {
        SCOPED_TRACE(address);
        notices.clear();
        const int connection = engine->connectionCount();
        join(4242, base, QString::fromUtf8(address));
        ASSERT_TRUE(engine->waitForConnections(connection + 1));
        answer(connection, success());
        ASSERT_TRUE(form->isHost());
        ASSERT_FALSE(form->isClosing());
        // The host's own room goes through the real client from here.
        cr::setBackendFactory(nullptr);
        notices.clear();
        EventRecorder closing({ UserEventType::CloseMeeting });
        form->SlotStreamStarted();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|加入聊天室失败") });
        EXPECT_EQ(closing.types.size(), 1);
        EXPECT_TRUE(form->isClosing());
        // A fresh fake for the next meeting's viewer side (the old one uninstalls itself as it goes).
        chat.reset();
        chat = std::make_unique<cr::FakeChatService>();
        chat->join.memberId = kSelfId;
    }
    setData(kRoomIsHost, bg::Value(false));
}

TEST_F(ViewerAnswers, AnswerForAnUnknownConnectionIsOnlyLogged)
{
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    ASSERT_TRUE(waitUntil([&] { return callsNamed(*engine, "setRemoteDescription") >= 1; }));
    DebugLines log;
    emit NetManager::instance()->SRVGetRtcSdpResult(
        false, QString(), 1, QStringLiteral("failed"), QStringLiteral("{not-a-connection}"), QString());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(chat->callsNamed("joinRoom").size(), 1u);
    EXPECT_EQ(callsNamed(*engine, "setRemoteDescription"), 1);
    EXPECT_EQ(log.starting(QStringLiteral("[slot_MainGetSdpResult]")).size(), 1);
    EXPECT_FALSE(form->isClosing());
}

TEST_F(ViewerAnswers, SecondJoinReplacesThePull)
{
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    QPointer<PeerConnectionWrapper> first = form->mainPull();
    ASSERT_TRUE(first);
    const QString firstId = first->sourceId();
    answer(0, success());
    join();
    ASSERT_TRUE(engine->waitForConnections(2));
    EXPECT_TRUE(first.isNull());
    ASSERT_TRUE(form->mainPull());
    EXPECT_NE(form->mainPull()->sourceId(), firstId);
    // An answer for the old pull no longer counts; the new pull's first failure is a failed join again.
    emit NetManager::instance()->SRVGetRtcSdpResult(false, QString(), 1, QStringLiteral("old"), firstId, QString());
    EXPECT_TRUE(notices.isEmpty());
    answer(1, devservice::ScriptedReply::failure(2, "again"));
    EXPECT_TRUE(waitUntil([&] { return !notices.isEmpty(); }));
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|加入直播失败。\n错误: again") });
}

// A viewer in a meeting whose chat room is joined, with the room's members known.
class ViewerCommands : public ViewerFixture {
protected:
    void SetUp() override
    {
        ViewerFixture::SetUp();
        join();
        ASSERT_TRUE(engine->waitForConnections(1));
        answer(0, success());
        ASSERT_EQ(chat->liveRooms(), 1);
        peers();
    }
};

TEST_F(ViewerCommands, OrdersCountOnlyFromTheHost)
{
    const struct {
        const char* what;
        const char* sender;
        std::string command;
        const char* handlerLine; // the debug line that shows the handler ran, or null
    } cases[] = {
        { "invite for itself", "p-host", chatcommand::text(chatcommand::inviteLianmai(kSelfId, 2)),
            "[拒绝连麦邀请]:" },
        { "invite for another", "p-host", chatcommand::text(chatcommand::inviteLianmai(kOtherId, 2)), nullptr },
        { "invite from a member", "p-other", chatcommand::text(chatcommand::inviteLianmai(kSelfId, 1)), nullptr },
        { "end", "p-host", chatcommand::text(chatcommand::endLianmai(kSelfId)), "[主持端取消连麦]" },
        { "end from a member", "p-other", chatcommand::text(chatcommand::endLianmai(kSelfId)), nullptr },
        { "stream_url from a known member", "p-other", R"({"type":"stream_url","user_id":7,"url":0})",
            "[need to find_UserId]: 7" },
        { "stream_url from an unknown sender", "p-nobody", R"({"type":"stream_url","user_id":9,"url":12})",
            nullptr },
        { "stream_url without url", "p-other", R"({"type":"stream_url","user_id":7})", nullptr },
        { "stream_end from a member", "p-other", chatcommand::text(chatcommand::streamEnd()), nullptr },
    };
    // The invitation is refused at once.
    setMeetingPromptHook([](const MeetingPrompt&) { return 0; });
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        DebugLines log;
        command(row.sender, row.command);
        QStringList ran;
        for (const char* prefix : { "[拒绝连麦邀请]:", "[主持端取消连麦]", "[need to find_UserId]:" })
            ran += log.starting(QString::fromUtf8(prefix));
        ASSERT_EQ(ran.size(), row.handlerLine ? 1 : 0) << ran.join('\n').toStdString();
        if (row.handlerLine) {
            EXPECT_TRUE(ran.front().startsWith(QString::fromUtf8(row.handlerLine))) << ran.front().toStdString();
        }
        EXPECT_FALSE(form->isClosing());
    }
    setMeetingPromptHook({});

    command("p-host", chatcommand::text(chatcommand::streamEnd()));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(form->isClosing());
}

TEST_F(ViewerCommands, PeerIdsAreRead64BitFromTheTextAndOutOfRangeIsNoId)
{
    const struct {
        const char* userId;
        qint64 expected;
    } cases[] = {
        { "9007199254740993", 9007199254740993LL },
        { "\"9007199254740993\"", 9007199254740993LL },
        { "9223372036854775807", 9223372036854775807LL },
        { "9223372036854775808", 0 },
        { "18446744073709551615", 0 },
        { "1e19", 0 },
        { "-1e300", 0 },
        { "5.5", 0 },
        { "\"12x\"", 0 },
        { "true", 0 },
        { "{}", 0 },
    };
    std::string list = "[";
    for (size_t i = 0; i < std::size(cases); ++i)
        list += (i ? "," : "") + std::string(R"({"id":"p-)") + std::to_string(i) + R"(","handle":"n","user_id":)"
            + cases[i].userId + "}";
    list += "]";
    ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) { callback.onPeers(list); }));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].userId);
        const QString id = QStringLiteral("p-%1").arg(i);
        ASSERT_TRUE(form->members().contains(id));
        EXPECT_EQ(form->members().value(id).userId, cases[i].expected);
    }
    // Peers that are no object, and a nickname text nested past any stack limit, are passed over.
    const std::string deepData = "{\"nickname\":" + std::string(1001, '[') + std::string(1001, ']') + "}";
    Json::Value odd(Json::arrayValue);
    odd.append(1);
    odd.append("p-x");
    Json::Value deep(Json::objectValue);
    deep["id"] = "p-deep";
    deep["user_id"] = 11;
    deep["handle"] = "深";
    deep["user_data"] = deepData;
    odd.append(deep);
    ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) { callback.onPeers(odd.toStyledString()); }));
    ASSERT_TRUE(form->members().contains(QStringLiteral("p-deep")));
    EXPECT_EQ(form->members().value(QStringLiteral("p-deep")).name, QString::fromUtf8("深"));
    ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) {
        callback.onPeerJoined("p-deep2", "h", "pc", R"({"user_id":12,"x":)" + std::string(1001, '[') + std::string(1001, ']') + "}");
    }));
    EXPECT_FALSE(form->isClosing());
}

TEST_F(ViewerCommands, FirstCoBroadcastListIsShownOnce)
{
    DebugLines log;
    // A list that shows nothing keeps the viewer waiting for the next one.
    command("p-host", R"({"type":"Lianmai_list","teacher":{},"members":[]})");
    EXPECT_TRUE(log.starting(QStringLiteral("[need to find_UserId]:")).isEmpty());
    // A member's copy is not the host's list.
    command("p-other", R"({"type":"Lianmai_list","members":[{"user_id":9}]})");
    EXPECT_TRUE(log.starting(QStringLiteral("[need to find_UserId]:")).isEmpty());
    // Elements that are no object name nobody; the others are still shown.
    command("p-host", R"({"type":"Lianmai_list","members":[1]})");
    EXPECT_TRUE(log.starting(QStringLiteral("[need to find_UserId]:")).isEmpty());
    command("p-host",
        R"({"type":"Lianmai_list","members":[{"user_id":7},1,"x",[{"user_id":8}],null,{"user_id":78187493520}]})");
    EXPECT_EQ(log.starting(QStringLiteral("[need to find_UserId]:")),
        (QStringList { QStringLiteral("[need to find_UserId]: 7"),
            QStringLiteral("[need to find_UserId]: 78187493520") }));
    log.clear();
    command("p-host", R"({"type":"Lianmai_list","members":[{"user_id":3}]})");
    EXPECT_TRUE(log.starting(QStringLiteral("[need to find_UserId]:")).isEmpty());
}

TEST_F(ViewerCommands, HostAudioAnnouncementsCoalesceIntoOnePull)
{
    const int before = engine->connectionCount();
    command("p-host", R"({"type":"host_url","stream_id":11})");
    command("p-host", R"({"type":"host_url","stream_id":"78187493520"})");
    command("p-host", R"({"type":"host_url","stream_id":-1})");
    command("p-host", R"({"type":"host_url"})");
    command("p-other", R"({"type":"host_url","stream_id":99})");
    EXPECT_EQ(form->hostAudioStreamId(), 78187493520LL);
    EXPECT_EQ(engine->connectionCount(), before);
    ASSERT_TRUE(waitUntil([&] { return form->hostAudioPull() != nullptr; }));
    EXPECT_TRUE(engine->waitForConnections(before + 1));
    QTest::qWait(meetingTimings().hostAudioPullMs + 100);
    EXPECT_EQ(engine->connectionCount(), before + 1);
    const auto offers = engine->calls("createOffer");
    ASSERT_FALSE(offers.empty());
    EXPECT_EQ(offers.back().arguments, (std::vector<std::string> { "false", "true" }));

    // The same id again does nothing.
    command("p-host", R"({"type":"host_url","stream_id":78187493520})");
    QTest::qWait(meetingTimings().hostAudioPullMs + 100);
    EXPECT_EQ(engine->connectionCount(), before + 1);
}

TEST_F(ViewerCommands, HostTableReadsStreamUrlZeroAsAnEnd)
{
    // A host form: is-host is read when the meeting starts.
    setData(kRoomIsHost, bg::Value(true));
    setData(kRoomPusherNum, bg::Value(4LL));
    setData("chat_micro_num", bg::Value(0LL));
    join();
    ASSERT_TRUE(engine->waitForConnections(2));
    answer(engine->connectionCount() - 1, success());
    peers();
    ASSERT_TRUE(form->isHost());
    DebugLines log;
    command("p-other", R"({"type":"stream_url","user_id":7,"url":0,"stream_id":0,"audio":false,"video":false})");
    command("p-other", R"({"type":"stream_url","user_id":7,"url":1234,"stream_id":1234,"audio":true,"video":true})");
    command("p-other", R"({"type":"Receive.invitation","student_id":7,"accept":true})");
    command("p-other", R"({"type":"stream_end"})");
    // Only the first announcement ends a co-broadcast; the accepted invitation takes a seat.
    EXPECT_EQ(log.starting(QStringLiteral("[连麦结束，删除成员ID]:")),
        QStringList { QStringLiteral("[连麦结束，删除成员ID]: 7") });
    EXPECT_EQ(form->coBroadcastMembers().count(7), 1u);
    EXPECT_FALSE(form->isClosing());
    setData(kRoomIsHost, bg::Value(false));
}

class ViewerClosing : public ViewerFixture { };

TEST_F(ViewerClosing, NothingOfAClosedMeetingFiresLater)
{
    EventRecorder ready({ UserEventType::V3StreamReady });
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    peers();

    // The stream becomes ready, a host audio pull and a delayed command are pending; then the meeting ends.
    DebugLines log;
    ASSERT_TRUE(engine->play(0, { zovwebrtc::ScriptStep::frame(64, 36) }));
    ASSERT_TRUE(waitUntil([&] { return !log.starting(QString::fromUtf8("[观看端拉流成功")).isEmpty(); }));
    command("p-host", R"({"type":"host_url","stream_id":11})");
    form->sendCommandLater(meetingTimings().delayedCommandMs, chatcommand::endLianmai(3));
    const int connections = engine->connectionCount();
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(form->isClosing());

    // The next meeting starts at once and joins its room.
    join();
    ASSERT_TRUE(engine->waitForConnections(connections + 1));
    answer(engine->connectionCount() - 1, success());
    chat->clearCalls();

    QTest::qWait(std::max({ meetingTimings().streamReadyMs, meetingTimings().hostAudioPullMs,
                     meetingTimings().delayedCommandMs })
        + 300);
    EXPECT_TRUE(ready.types.isEmpty());
    EXPECT_TRUE(chat->callsNamed("sendCommand").empty());
    EXPECT_EQ(engine->connectionCount(), connections + 1);
    EXPECT_EQ(form->hostAudioPull(), nullptr);
}

TEST_F(ViewerClosing, StreamReadyEnablesTheExitAfterTheDelay)
{
    EventRecorder ready({ UserEventType::V3StreamReady });
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    ASSERT_TRUE(engine->play(0, { zovwebrtc::ScriptStep::frame(64, 36) }));
    EXPECT_TRUE(ready.waitFor(1));
}

class ViewerFrames : public ViewerFixture { };

TEST_F(ViewerFrames, FramesFromAWorkerThreadReachThePainterOnTheGuiThread)
{
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    auto* painter = form->findChild<PainterWidget*>(QStringLiteral("widget_painter_center"));
    ASSERT_NE(painter, nullptr);
    ASSERT_TRUE(painter->isVisibleTo(form.get()));
    const QString pullId = form->mainPull()->sourceId();

    I420FramePtr frame = I420Frame::create(64, 32, 32, 64, 36);
    std::thread worker([&] {
        static_cast<RemoteVideoObserver*>(form.get())->onRemoteFrame(pullId.toUtf8().constData(), frame);
        static_cast<RemoteVideoObserver*>(form.get())->onRemoteFrame("{another connection}", frame);
    });
    worker.join();
    // Nothing was drawn on the worker's thread: the frame waits for the GUI thread.
    EXPECT_TRUE(painter->image().isNull());
    EXPECT_GE(frame.use_count(), 2);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(painter->image().size(), QSize(64, 36));

    // Frames through the scripted connection take the same road.
    painter->setFrame(nullptr);
    ASSERT_TRUE(engine->play(0, { zovwebrtc::ScriptStep::frame(80, 48) }));
    EXPECT_TRUE(waitUntil([&] { return painter->image().size() == QSize(80, 48); }));
}

TEST_F(ViewerFrames, FramesWhileTheGuiThreadIsHeldUpLeaveOnePicturePerConnection)
{
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    auto* painter = form->findChild<PainterWidget*>(QStringLiteral("widget_painter_center"));
    ASSERT_NE(painter, nullptr);
    const std::string pullId = form->mainPull()->sourceId().toStdString();
    QCoreApplication::sendPostedEvents();

    // The GUI thread handles no event while the connection's thread sends 60 frames (two seconds of video).
    constexpr int kFrames = 60;
    std::vector<std::weak_ptr<I420Frame>> sent;
    std::thread worker([&] {
        for (int i = 0; i < kFrames; ++i) {
            I420FramePtr frame = I420Frame::create(64, 32, 32, 64, uint32_t(2 + 2 * i));
            sent.push_back(frame);
            static_cast<RemoteVideoObserver*>(form.get())->onRemoteFrame(pullId.c_str(), frame);
            static_cast<RemoteVideoObserver*>(form.get())->onRemoteFrame("{another connection}", frame);
        }
    });
    worker.join();
    EXPECT_EQ(form->waitingFrames(), 2);
    // Only the newest picture is still held; every older one was let go at once.
    for (int i = 0; i + 1 < kFrames; ++i)
        EXPECT_TRUE(sent[size_t(i)].expired()) << i;
    EXPECT_FALSE(sent.back().expired());

    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(form->waitingFrames(), 0);
    EXPECT_EQ(painter->image().size(), QSize(64, 2 * kFrames));
}

TEST_F(ViewerFrames, RotationIndexStampsTheFrame)
{
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    const struct {
        int presses;
        int index;
        int degrees;
    } cases[] = { { 0, 0, 0 }, { 1, 3, 270 }, { 1, 2, 180 }, { 1, 1, 90 }, { 1, 0, 0 } };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.degrees);
        for (int i = 0; i < row.presses; ++i)
            form->OnFrameRotate();
        EXPECT_EQ(form->rotationIndex(), row.index);
        I420FramePtr frame = I420Frame::create(64, 32, 32, 64, 36);
        form->slot_Render(frame);
        EXPECT_EQ(frame->rotation, row.degrees);
    }
}

} // namespace
