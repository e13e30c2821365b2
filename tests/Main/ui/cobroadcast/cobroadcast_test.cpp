// Co-broadcasting and screen casting in the meeting form: the host's invitations, answers, pulls and scene
// places, the viewer's dialog, push, registration and announcement, answers that overlap, the host's own
// audio stream and the screen-cast answers. Scripted WebRTC engine, fake chat service, local service.
#include "Main/ui/viewer/viewer_support.h"

#include "ui_meetingmainform.h"

#include "global/datakeys.h"
#include "global/meetingprompt.h"
#include "global/menurunner.h"
#include "ui/part/chatcommands.h"
#include "ui/part/meetingmemberform.h"
#include "ui/part/memberinteractform.h"

#include <studio/sourcewidget.h>

#include <QAction>
#include <QMenu>

#include <json/reader.h>

#include <algorithm>
#include <set>

using namespace viewertest;

namespace {

// The row updates the form posts.
class RowStates : public QObject {
public:
    struct State {
        qint64 userId;
        int kind;
        int status;
        bool operator==(const State& o) const { return userId == o.userId && kind == o.kind && status == o.status; }
    };
    RowStates() { EventDeliverer::instance()->registerReceiver(UserEventType::RefreshMemItemState, this); }
    ~RowStates() override { EventDeliverer::instance()->unregisterReceiver(UserEventType::RefreshMemItemState, this); }
    bool event(QEvent* event) override
    {
        if (int(event->type()) != UserEventType::RefreshMemItemState)
            return QObject::event(event);
        const auto* refresh = static_cast<RefreshMemItemStateEvent*>(event);
        states.push_back({ refresh->userId, refresh->kind, refresh->status });
        return true;
    }
    std::vector<State> states;
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

class CoBroadcastFixture : public ViewerFixture {
protected:
    void SetUp() override
    {
        ViewerFixture::SetUp();
        setData(kRoomPusherNum, bg::Value(4LL));
        setData(kDataChatMicroNum, bg::Value(0LL));
        setData(kRoomMeetingKeyClient, bg::Value("client-key"));
        setData(kRoomMeetingKeyMain, bg::Value("main-key"));
    }
    void TearDown() override
    {
        setMeetingPromptHook({});
        form.reset();
        setData(kRoomIsHost, bg::Value(false));
        setData(kRoomHostUserId, bg::Value(0LL));
        ViewerFixture::TearDown();
    }

    // A running meeting with its chat room: the host, this member, 小红 (7) and 小刚 (8).
    void startMeeting(bool host)
    {
        setData(kRoomIsHost, bg::Value(host));
        setData(kRoomHostUserId, bg::Value(kHostId));
        join();
        ASSERT_TRUE(engine->waitForConnections(1));
        answer(0, success());
        const char* peers = R"([{"id":"p-host","user_id":1,"handle":"主持人"},
            {"id":"p-self","user_id":5,"handle":"小明"},{"id":"p-other","user_id":7,"handle":"小红"},
            {"id":"p-third","user_id":8,"handle":"小刚"}])";
        ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) { callback.onPeers(peers); }));
        settle();
        chat->clearCalls();
        notices.clear();
    }

    // The commands sent through the chat room since the last clear, parsed.
    std::vector<Json::Value> sent() const
    {
        std::vector<Json::Value> commands;
        for (const auto& call : chat->callsNamed("sendCommand")) {
            Json::Value value;
            Json::Reader().parse(call.args.back(), value);
            commands.push_back(value);
        }
        return commands;
    }
    std::vector<Json::Value> sentOfType(const char* type) const
    {
        std::vector<Json::Value> found;
        for (const Json::Value& command : sent()) {
            if (command["type"].asString() == type)
                found.push_back(command);
        }
        return found;
    }

    void deliver(QEvent* event)
    {
        EventDeliverer::instance()->deliver(event);
        settle();
    }

    void memberCommand(const char* chatId, const Json::Value& command)
    {
        this->command(chatId, chatcommand::text(command));
        settle();
    }
    void memberCommand(const char* chatId, const char* text)
    {
        this->command(chatId, text);
        settle();
    }

    // The host's member 7 or 8 invited and accepted.
    void accepted(qint64 id, int kind = 1)
    {
        deliver(new ViewerMemberInviteEvent(id, kind, true));
        memberCommand(id == 7 ? "p-other" : "p-third", chatcommand::receiveInvitation(id, true));
    }

    CoBroadcastRecord* recordOf(qint64 id)
    {
        for (CoBroadcastRecord& record : form->coBroadcasts()) {
            if (record.userId == id)
                return &record;
        }
        return nullptr;
    }

    MemberInteractForm* tileOf(qint64 id) const
    {
        for (MemberInteractForm* tile : form->form()->widget_right->shownTiles()) {
            if (tile->userId() == id)
                return tile;
        }
        return nullptr;
    }

    static devservice::ScriptedReply sdpAnswer(const char* sdp, long long id)
    {
        Json::Value result(Json::objectValue);
        result["sdp"] = QByteArray(sdp).toBase64().toStdString();
        result["id"] = Json::Int64(id);
        return devservice::ScriptedReply::success(result);
    }

    std::vector<devservice::RecordedRequest> requestsTo(const char* path) const
    {
        std::vector<devservice::RecordedRequest> found;
        for (const auto& request : s_service->requests()) {
            if (request.path.find(path) != std::string::npos)
                found.push_back(request);
        }
        return found;
    }

    // The remote descriptions each engine connection was given.
    std::vector<std::string> remoteOf(int connection) const
    {
        std::vector<std::string> found;
        for (const auto& call : engine->calls("setRemoteDescription")) {
            if (call.connection == connection)
                found.push_back(call.arguments.back());
        }
        return found;
    }

    bool waitRequests(const char* path, size_t count)
    {
        const bool reached = waitUntil([&] { return requestsTo(path).size() >= count; });
        NetManager::instance()->waitIdle(5000);
        QTest::qWait(50);
        settle();
        return reached;
    }
};

// Host ---------------------------------------------------------------------------------------------------

class CoBroadcastHost : public CoBroadcastFixture {
protected:
    void SetUp() override
    {
        CoBroadcastFixture::SetUp();
        startMeeting(true);
    }
};

TEST_F(CoBroadcastHost, InviteAndWithdrawSendTheirCommandsAndKeepTheKind)
{
    deliver(new ViewerMemberInviteEvent(7, 2, true));
    deliver(new ViewerMemberInviteEvent(8, 1, true));
    deliver(new ViewerMemberInviteEvent(8, 1, false));
    const auto commands = sent();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0]["type"].asString(), "Invite.Lianmai");
    EXPECT_EQ(commands[0]["student_id"].asInt64(), 7);
    EXPECT_EQ(commands[0]["order_type"].asInt(), 2);
    EXPECT_EQ(commands[1]["order_type"].asInt(), 1);
    EXPECT_EQ(commands[2]["type"].asString(), "End.Lianmai");
    EXPECT_EQ(commands[2]["student_id"].asInt64(), 8);
    EXPECT_EQ(form->invitationKinds().value(7), 2);
    EXPECT_EQ(form->invitationKinds().value(8), -1);
}

TEST_F(CoBroadcastHost, RepliesCountOnlyFromTheMemberItself)
{
    deliver(new ViewerMemberInviteEvent(7, 1, true));
    // From a sender the room does not know, and from another member speaking for 7.
    memberCommand("p-stranger", chatcommand::receiveInvitation(7, true));
    memberCommand("p-third", chatcommand::receiveInvitation(7, true));
    EXPECT_TRUE(form->coBroadcastMembers().empty());
    EXPECT_EQ(recordOf(7), nullptr);
    EXPECT_EQ(tileOf(7), nullptr);
}

TEST_F(CoBroadcastHost, MemberIdsBeyondDoublePrecisionAreHonoured)
{
    // 2^53 + 1: a double would read it as 2^53, and the member's own reply would then name another member.
    constexpr qint64 kWideId = 9007199254740993LL;
    ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) {
        callback.onPeerJoined("p-wide", "wide", "pc", R"({"id":"p-wide","user_id":9007199254740993,"handle":"大"})");
    }));
    settle();
    ASSERT_TRUE(form->members().contains(QStringLiteral("p-wide")));
    EXPECT_EQ(form->members().value(QStringLiteral("p-wide")).userId, kWideId);
    deliver(new ViewerMemberInviteEvent(kWideId, 1, true));
    memberCommand("p-wide", chatcommand::receiveInvitation(kWideId, true));
    EXPECT_EQ(form->coBroadcastMembers().count(kWideId), 1u);
    ASSERT_NE(recordOf(kWideId), nullptr);
    EXPECT_NE(tileOf(kWideId), nullptr);
}

TEST_F(CoBroadcastHost, RefusalUpdatesTheRowAndTellsTheHost)
{
    const struct {
        int kind;
        const char* notice;
    } cases[] = { { 1, "提示|小红 拒绝了视频连麦请求" }, { 2, "提示|小红 拒绝了语音连麦请求" } };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.kind);
        notices.clear();
        RowStates rows;
        deliver(new ViewerMemberInviteEvent(7, row.kind, true));
        memberCommand("p-other", chatcommand::receiveInvitation(7, false));
        EXPECT_EQ(notices, QStringList { QString::fromUtf8(row.notice) });
        ASSERT_EQ(rows.states.size(), 1u);
        EXPECT_TRUE((rows.states[0] == RowStates::State { 7, 0, 3 }));
        EXPECT_TRUE(form->coBroadcastMembers().empty());
    }
}

TEST_F(CoBroadcastHost, AcceptedMemberGetsARecordAndATile)
{
    accepted(7);
    ASSERT_NE(recordOf(7), nullptr);
    EXPECT_EQ(recordOf(7)->enabledMask, 3);
    EXPECT_EQ(recordOf(7)->placement, -1);
    EXPECT_EQ(form->coBroadcastMembers().at(7), QString::fromUtf8("小红"));
    EXPECT_NE(tileOf(7), nullptr);
    EXPECT_TRUE(form->waitingMembers().isEmpty());
}

TEST_F(CoBroadcastHost, WithoutASeatTheMemberWaitsAndIsEndedWhenItAnnounces)
{
    setData(kRoomPusherNum, bg::Value(0LL));
    accepted(7);
    EXPECT_EQ(form->waitingMembers(), QList<qint64> { 7 });
    EXPECT_EQ(recordOf(7), nullptr);
    EXPECT_EQ(tileOf(7), nullptr);
    chat->clearCalls();
    RowStates rows;
    const int connections = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 77, true, true));
    const auto ends = sentOfType("End.Lianmai");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]["student_id"].asInt64(), 7);
    EXPECT_TRUE(form->waitingMembers().isEmpty());
    EXPECT_EQ(engine->connectionCount(), connections);
    ASSERT_FALSE(rows.states.empty());
    EXPECT_TRUE((rows.states[0] == RowStates::State { 7, 0, 3 }));
}

TEST_F(CoBroadcastHost, AnnouncementPullsWhatBothSidesHaveAndPlacesTheSource)
{
    const QSize canvas = form->form()->widget_center->outputSize();
    const struct {
        const char* what;
        bool video;
        int placement;
        bool remembered;
        QPoint expected;
    } cases[] = {
        { "voice: audio only, nothing on the scene", false, -1, false, QPoint() },
        { "top-left corner", true, -1, false, QPoint(0, 0) },
        { "middle", true, 1, false, QPoint(0, canvas.height() / 2) },
        { "bottom", true, 2, false, QPoint(0, canvas.height()) },
        { "where the host left it", true, 2, true, QPoint(40, 50) },
    };
    accepted(7);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        CoBroadcastRecord* record = recordOf(7);
        ASSERT_NE(record, nullptr);
        // Off the scene before each row: a source taken off keeps its place, which each row sets itself.
        form->RemoveMemberSourceFromScene(*record);
        record->placement = row.placement;
        record->hasSavedPos = row.remembered;
        record->savedPos = QPoint(40, 50);
        chat->clearCalls();
        RowStates rows;
        const int connection = engine->connectionCount();
        memberCommand("p-other", chatcommand::streamUrl(7, 9000000001LL, true, row.video));
        ASSERT_TRUE(engine->waitForConnections(connection + 1));
        ASSERT_TRUE(engine->waitForCalls("createOffer", connection + 1));
        record = recordOf(7);
        ASSERT_TRUE(record->connection);
        EXPECT_EQ(record->publishedMask, row.video ? 3 : 1);
        EXPECT_EQ(record->streamUrl, QStringLiteral("9000000001"));
        const auto offers = engine->calls("createOffer");
        const auto offer = std::find_if(offers.begin(), offers.end(),
            [&](const zovwebrtc::EngineCall& call) { return call.connection == connection; });
        ASSERT_NE(offer, offers.end());
        // The offer asks for video only when the member sends it.
        EXPECT_EQ(offer->arguments.front(), row.video ? "true" : "false") << ::testing::PrintToString(offer->arguments);
        if (row.video) {
            ASSERT_NE(record->source, nullptr);
            QPoint position;
            ASSERT_TRUE(form->form()->widget_center->GetSourcePos(record->source, position));
            EXPECT_EQ(position, row.expected);
        } else {
            EXPECT_EQ(record->source, nullptr);
        }
        // Listed for the viewers with its 64-bit stream id.
        const auto lists = sentOfType("Lianmai_list");
        ASSERT_FALSE(lists.empty());
        ASSERT_EQ(lists.back()["members"].size(), 1u);
        EXPECT_EQ(lists.back()["members"][0]["stream_id"].asInt64(), 9000000001LL);
        ASSERT_FALSE(rows.states.empty());
        EXPECT_TRUE((rows.states.back() == RowStates::State { 7, row.video ? 2 : 1, 3 }));
    }
}

TEST_F(CoBroadcastHost, EndingsRemoveTheMemberAndOnlyItsOwnLeaveIsReported)
{
    accepted(7);
    accepted(8);
    memberCommand("p-other", chatcommand::streamUrl(7, 71, true, true));
    memberCommand("p-third", chatcommand::streamUrl(8, 81, true, true));
    ASSERT_NE(recordOf(7)->source, nullptr);
    notices.clear();
    chat->clearCalls();

    // The host ends both at once; the two endings arrive afterwards.
    deliver(new ViewerMemberInviteEvent(7, 1, false));
    deliver(new ViewerMemberInviteEvent(8, 1, false));
    memberCommand("p-other", chatcommand::streamUrlEnded(7));
    memberCommand("p-third", chatcommand::streamUrlEnded(8));
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
    EXPECT_TRUE(form->coBroadcastMembers().empty());
    EXPECT_EQ(recordOf(7)->source, nullptr);
    EXPECT_FALSE(recordOf(7)->connection);
    EXPECT_TRUE(recordOf(7)->streamUrl.isEmpty());
    EXPECT_EQ(tileOf(7), nullptr);
    EXPECT_EQ(tileOf(8), nullptr);
    const auto lists = sentOfType("Lianmai_list");
    ASSERT_FALSE(lists.empty());
    EXPECT_EQ(lists.back()["members"].size(), 0u);

    // A member that ends by itself is reported.
    accepted(7);
    memberCommand("p-other", chatcommand::streamUrl(7, 72, true, false));
    memberCommand("p-other", chatcommand::streamUrlEnded(7));
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|小红 断开了连麦") });
}

TEST_F(CoBroadcastHost, FailedPullAnswerEndsTheMember)
{
    accepted(7);
    const int connection = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 73, true, true));
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    chat->clearCalls();
    answer(connection, devservice::ScriptedReply::failure(3, "no such stream"));
    settle();
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|连麦失败，请重试。\n错误: no such stream") });
    const auto ends = sentOfType("End.Lianmai");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]["student_id"].asInt64(), 7);
    // The request named the stream and the connection.
    const auto requests = requestsTo("/test/getRtcSdp");
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().members["stream_id"].asInt64(), 73);
    EXPECT_NE(requests.back().query.find("meetting_key=main-key"), std::string::npos);
}

TEST_F(CoBroadcastHost, AnswerNestedPastAnyStackLimitGivesNoDescription)
{
    accepted(7);
    const int connection = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 76, true, true));
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    // The answer's text reaches the form as the service sent it.
    devservice::ScriptedReply deep = devservice::ScriptedReply::success(
        Json::Value(R"({"sdp":"dj0w","id":)" + std::string(1001, '[') + std::string(1001, ']') + "}"));
    deep.encrypt = true;
    answer(connection, deep);
    settle();
    const auto remote = remoteOf(connection);
    EXPECT_TRUE(std::all_of(remote.begin(), remote.end(), [](const std::string& sdp) { return sdp.empty(); }))
        << ::testing::PrintToString(remote);
    EXPECT_FALSE(form->isClosing());
}

// The host's own audio: pushed once the main stream is registered, registered itself, then listed.
TEST_F(CoBroadcastHost, HostAudioIsRegisteredAndListedAsAudioUrl)
{
    s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::success());
    const int connection = engine->connectionCount();
    form->SlotStreamStarted();
    ASSERT_TRUE(waitUntil([&] { return engine->connectionCount() > connection; }));
    ASSERT_TRUE(form->hostAudioPush());
    EXPECT_TRUE(engine->waitForCalls("addAudioTrack", 1));

    s_service->script("/test/getRtcSdp", sdpAnswer("v=0 audio answer", 8800000000LL));
    s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::success());
    const size_t registrations = requestsTo("/room/addMeettingStreamer").size();
    ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::iceComplete() }));
    ASSERT_TRUE(waitRequests("/room/addMeettingStreamer", registrations + 1));
    EXPECT_EQ(remoteOf(connection), std::vector<std::string> { "v=0 audio answer" });
    const auto sdp = requestsTo("/test/getRtcSdp").back();
    EXPECT_EQ(sdp.members["stream_id"].asInt64(), 0);
    EXPECT_NE(sdp.query.find("meetting_key=main-key"), std::string::npos);
    const auto registration = requestsTo("/room/addMeettingStreamer").back();
    EXPECT_EQ(registration.members["title"].asString(), "主持端单独音频流");
    EXPECT_EQ(registration.members["stream_id"].asInt64(), 8800000000LL);
    EXPECT_EQ(form->hostAudioStreamerId(), 8800000000LL);

    chat->clearCalls();
    accepted(7);
    memberCommand("p-other", chatcommand::streamUrl(7, 74, true, true));
    const auto lists = sentOfType("Lianmai_list");
    ASSERT_FALSE(lists.empty());
    EXPECT_EQ(lists.back()["teacher"]["audio_url"].asInt64(), 8800000000LL);
}

// Answers that overlap reach the connection each was asked for.
TEST_F(CoBroadcastHost, OverlappingExchangesEachGetTheirOwnAnswer)
{
    s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::success());
    const int audio = engine->connectionCount();
    form->SlotStreamStarted();
    ASSERT_TRUE(waitUntil([&] { return engine->connectionCount() > audio; }));
    accepted(7);
    accepted(8);
    const int first = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 75, true, true));
    ASSERT_TRUE(engine->waitForConnections(first + 1));
    const int second = engine->connectionCount();
    memberCommand("p-third", chatcommand::streamUrl(8, 85, true, true));
    ASSERT_TRUE(engine->waitForConnections(second + 1));
    // Each request names its stream: 0 for the host's audio, the member's stream for a pull.
    const std::map<long long, int> connectionOf { { 0, audio }, { 75, first }, { 85, second } };

    const char* answers[] = { "v=0 A", "v=0 B", "v=0 C" };
    for (const char* text : answers)
        s_service->script("/test/getRtcSdp", sdpAnswer(text, 600));
    s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::success());
    const size_t before = requestsTo("/test/getRtcSdp").size();
    const size_t remotes = engine->calls("setRemoteDescription").size();
    for (int connection : { audio, first, second }) {
        ASSERT_TRUE(engine->waitForCall(connection, "createOffer"));
        ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::iceComplete() }));
    }
    ASSERT_TRUE(waitRequests("/test/getRtcSdp", before + 3));
    ASSERT_TRUE(waitUntil([&] { return engine->calls("setRemoteDescription").size() >= remotes + 3; }));

    // The service answered the requests in the order it got them: request i got answer i.
    const auto requests = requestsTo("/test/getRtcSdp");
    ASSERT_EQ(requests.size(), before + 3);
    std::set<long long> streams;
    for (size_t i = 0; i < 3; ++i) {
        const long long stream = requests[before + i].members["stream_id"].asInt64();
        streams.insert(stream);
        ASSERT_TRUE(connectionOf.count(stream)) << stream;
        EXPECT_EQ(remoteOf(connectionOf.at(stream)), std::vector<std::string> { answers[i] }) << stream;
    }
    EXPECT_EQ(streams.size(), 3u);
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
}

// A member that leaves the room while co-broadcasting goes from the scene, its pull and the list.
TEST_F(CoBroadcastHost, AMemberLeavingTheRoomEndsItsCoBroadcast)
{
    accepted(7);
    accepted(8);
    const int connection = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 71, true, true));
    memberCommand("p-third", chatcommand::streamUrl(8, 81, true, true));
    ASSERT_TRUE(engine->waitForConnections(connection + 2));
    ASSERT_NE(recordOf(7)->source, nullptr);
    chat->clearCalls();
    notices.clear();

    ASSERT_TRUE(chat->fire([](cr::UICallback& callback) { callback.onPeerLeft("p-other", "{}"); }));
    settle();
    CoBroadcastRecord* left = recordOf(7);
    if (left) {
        EXPECT_EQ(left->source, nullptr);
        EXPECT_FALSE(left->connection);
        EXPECT_TRUE(left->streamUrl.isEmpty());
    }
    EXPECT_EQ(form->coBroadcastMembers().count(7), 0u);
    EXPECT_EQ(tileOf(7), nullptr);
    EXPECT_TRUE(waitUntil([&] { return engine->closed(connection); }));
    const auto lists = sentOfType("Lianmai_list");
    ASSERT_FALSE(lists.empty());
    ASSERT_EQ(lists.back()["members"].size(), 1u);
    EXPECT_EQ(lists.back()["members"][0]["user_id"].asInt64(), 8);
    // The other member is untouched; nobody is told of an ending that was a departure.
    ASSERT_NE(recordOf(8), nullptr);
    EXPECT_NE(recordOf(8)->source, nullptr);
    EXPECT_FALSE(engine->closed(connection + 1));
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
}

// The failure notice runs an event loop, and the meeting may close inside it.
TEST_F(CoBroadcastHost, MeetingClosedDuringTheFailedPullNoticeIsNotTouchedAfterwards)
{
    accepted(7);
    const int connection = engine->connectionCount();
    memberCommand("p-other", chatcommand::streamUrl(7, 73, true, true));
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    setMeetingNoticeSink([this](const QString& title, const QString& text, int) {
        notices << title + QStringLiteral("|") + text;
        CloseMeetingEvent closing;
        QCoreApplication::sendEvent(form.get(), &closing);
    });
    chat->clearCalls();
    answer(connection, devservice::ScriptedReply::failure(3, "no such stream"));
    settle();
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|连麦失败，请重试。\n错误: no such stream") });
    EXPECT_TRUE(form->isClosing());
    EXPECT_TRUE(form->coBroadcasts().isEmpty());
    EXPECT_TRUE(sentOfType("End.Lianmai").empty());
    EXPECT_TRUE(waitUntil([&] { return engine->closed(connection); }));
}

// Each new announcement replaces the member's pull; the form keeps track of the living connections only.
TEST_F(CoBroadcastHost, ReannouncedStreamsReplaceThePullAndTheTrackedListStaysSmall)
{
    accepted(7);
    const int first = engine->connectionCount();
    for (int i = 0; i < 12; ++i)
        memberCommand("p-other", chatcommand::streamUrl(7, 100 + i, true, true));
    ASSERT_TRUE(engine->waitForConnections(first + 12));
    for (int i = 0; i < 11; ++i)
        EXPECT_TRUE(waitUntil([&] { return engine->closed(first + i); })) << i;
    EXPECT_FALSE(engine->closed(first + 11));
    ASSERT_TRUE(recordOf(7)->connection);
    EXPECT_LE(form->trackedConnectionCount(), 3) << "the main pull, the member's pull, and at most one gone";
}

// The camera's menu: a meeting closed while it is open makes no mirror.
TEST_F(CoBroadcastHost, CameraMenuChoiceAfterTheMeetingClosedMakesNoMirror)
{
    form->OnCameraReady(QStringLiteral("camera-under-test"), 64, 48);
    ASSERT_NE(form->cameraSource(), nullptr);
    setMenuRunner([&](QMenu& menu, QPoint) -> QAction* {
        deliver(new CloseMeetingEvent);
        return menu.actions().value(0);
    });
    form->OnSourceContextMenuRequested(form->cameraSource());
    setMenuRunner({});
    EXPECT_TRUE(form->isClosing());
    EXPECT_EQ(form->cameraMirror(), nullptr);
}

// Viewer -------------------------------------------------------------------------------------------------

class CoBroadcastViewer : public CoBroadcastFixture {
protected:
    void SetUp() override
    {
        // A test-pattern camera for the video push.
        qputenv("TAVICAST_SYNTHETIC_CAMERA", "Tavicast Test Camera");
        CoBroadcastFixture::SetUp();
        startMeeting(false);
        setMeetingPromptHook([this](const MeetingPrompt& prompt) {
            prompts << prompt.text + QStringLiteral("|") + prompt.okText + QStringLiteral("|") + prompt.cancelText;
            if (whileOpen)
                whileOpen();
            return answerWith;
        });
    }

    void TearDown() override
    {
        CoBroadcastFixture::TearDown();
        qunsetenv("TAVICAST_SYNTHETIC_CAMERA");
    }

    void invite(int order) { memberCommand("p-host", chatcommand::inviteLianmai(kSelfId, order)); }

    QStringList prompts;
    int answerWith = 1;
    std::function<void()> whileOpen;
};

TEST_F(CoBroadcastViewer, AcceptedInvitationPushesRegistersAndAnnounces)
{
    const struct {
        int order;
        const char* prompt;
        bool video;
    } cases[] = {
        { 1, "主持人邀请进行视频连麦，是否接受？|接受|拒绝", true },
        { 2, "主持人邀请进行语音连麦，是否接受？|接受|拒绝", false },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.order);
        prompts.clear();
        chat->clearCalls();
        const int connection = engine->connectionCount();
        const int cameras = int(engine->calls("addCameraTrack").size());
        invite(row.order);
        EXPECT_EQ(prompts, QStringList { QString::fromUtf8(row.prompt) });
        const auto replies = sentOfType("Receive.invitation");
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_TRUE(replies[0]["accept"].asBool());
        EXPECT_EQ(replies[0]["student_id"].asInt64(), kSelfId);
        ASSERT_TRUE(engine->waitForConnections(connection + 1));
        ASSERT_TRUE(form->coBroadcastPush());
        EXPECT_TRUE(form->isCoBroadcasting());
        EXPECT_TRUE(engine->waitForCalls("createOffer", connection + 1));
        EXPECT_TRUE(engine->waitForCalls("addAudioTrack", connection == 1 ? 1 : 2));
        EXPECT_EQ(int(engine->calls("addCameraTrack").size()), cameras + (row.video ? 1 : 0));

        s_service->script("/test/getRtcSdp", sdpAnswer("v=0 push answer", 9100000000LL));
        s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::success());
        const size_t registrations = requestsTo("/room/addMeettingStreamer").size();
        ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::iceComplete() }));
        ASSERT_TRUE(waitRequests("/room/addMeettingStreamer", registrations + 1));
        const auto sdp = requestsTo("/test/getRtcSdp").back();
        EXPECT_NE(sdp.query.find("meetting_key=client-key"), std::string::npos);
        EXPECT_EQ(sdp.members["stream_id"].asInt64(), 0);
        const auto registration = requestsTo("/room/addMeettingStreamer").back();
        EXPECT_EQ(registration.members["title"].asString(), "连麦流");
        EXPECT_EQ(registration.members["stream_id"].asInt64(), 9100000000LL);
        EXPECT_EQ(remoteOf(connection), std::vector<std::string> { "v=0 push answer" });

        // Announced after the delay, not before.
        EXPECT_TRUE(sentOfType("stream_url").empty());
        ASSERT_TRUE(waitUntil([&] { return !sentOfType("stream_url").empty(); }));
        const Json::Value url = sentOfType("stream_url").front();
        EXPECT_EQ(url["user_id"].asInt64(), kSelfId);
        EXPECT_EQ(url["url"].asInt64(), 9100000000LL);
        EXPECT_EQ(url["stream_id"].asInt64(), 9100000000LL);
        EXPECT_TRUE(url["audio"].asBool());
        EXPECT_EQ(url["video"].asBool(), row.video);

        // The own tile appears once the push is up: a picture for video, the connection for voice.
        ASSERT_TRUE(engine->play(connection,
            { row.video ? zovwebrtc::ScriptStep::frame(64, 36) : zovwebrtc::ScriptStep::state(zovwebrtc::kStateConnected) }));
        ASSERT_TRUE(waitUntil([&] { return tileOf(kSelfId) != nullptr; }));
        EXPECT_EQ(tileOf(kSelfId)->isSourceBound(), row.video);

        // The host ends it: the ending announcement goes at once and the tile goes.
        chat->clearCalls();
        memberCommand("p-host", chatcommand::endLianmai(kSelfId));
        const auto ended = sentOfType("stream_url");
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_EQ(ended[0]["url"].asString(), "");
        EXPECT_FALSE(ended[0]["video"].asBool());
        EXPECT_FALSE(form->coBroadcastPush());
        EXPECT_FALSE(form->isCoBroadcasting());
        EXPECT_EQ(tileOf(kSelfId), nullptr);
    }
}

TEST_F(CoBroadcastViewer, OwnMemberMenuEndsTheOwnCoBroadcast)
{
    QList<QStringList> menus;
    setMenuRunner([&](QMenu& menu, QPoint) -> QAction* {
        QStringList texts;
        for (QAction* action : menu.actions())
            texts << action->text();
        menus << texts;
        return menu.actions().value(0);
    });
    const int connection = engine->connectionCount();
    invite(1);
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    ASSERT_TRUE(form->isCoBroadcasting());

    // Another member's row opens nothing on a viewer.
    form->OnMemberContextMenuRequested(kSelfId + 1);
    EXPECT_TRUE(menus.isEmpty());

    chat->clearCalls();
    form->OnMemberContextMenuRequested(kSelfId);
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0], QStringList { QStringLiteral("结束连麦") });
    const auto ended = sentOfType("stream_url");
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0]["user_id"].asInt64(), kSelfId);
    EXPECT_EQ(ended[0]["url"].asString(), "");
    EXPECT_FALSE(form->isCoBroadcasting());
    EXPECT_FALSE(form->coBroadcastPush());
    setMenuRunner({});
}

TEST_F(CoBroadcastViewer, RefusedInvitationAnswersNo)
{
    answerWith = 0;
    const int connections = engine->connectionCount();
    invite(2);
    const auto replies = sentOfType("Receive.invitation");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_FALSE(replies[0]["accept"].asBool());
    EXPECT_EQ(engine->connectionCount(), connections);
    EXPECT_FALSE(form->isInvitationPending());
}

TEST_F(CoBroadcastViewer, WithdrawalOrCloseWhileTheDialogIsOpenLeavesNothingBehind)
{
    const struct {
        const char* what;
        bool close;
    } cases[] = { { "End.Lianmai", false }, { "the meeting closes", true } };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        chat->clearCalls();
        const int connections = engine->connectionCount();
        whileOpen = [&] {
            if (row.close)
                deliver(new CloseMeetingEvent);
            else
                memberCommand("p-host", chatcommand::endLianmai(kSelfId));
        };
        invite(1);
        EXPECT_EQ(prompts.size(), 1);
        prompts.clear();
        EXPECT_TRUE(sentOfType("Receive.invitation").empty());
        EXPECT_EQ(engine->connectionCount(), connections);
        EXPECT_FALSE(form->coBroadcastPush());
        EXPECT_FALSE(form->isInvitationPending());
    }
}

TEST_F(CoBroadcastViewer, FailedRegistrationEndsTheCoBroadcast)
{
    const int connection = engine->connectionCount();
    invite(1);
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    ASSERT_TRUE(engine->waitForCall(connection, "createOffer"));
    chat->clearCalls();
    s_service->script("/test/getRtcSdp", sdpAnswer("v=0 push answer", 9200));
    s_service->script("/room/addMeettingStreamer", devservice::ScriptedReply::failure(12, "streamer refused"));
    const size_t registrations = requestsTo("/room/addMeettingStreamer").size();
    ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::iceComplete() }));
    ASSERT_TRUE(waitRequests("/room/addMeettingStreamer", registrations + 1));
    EXPECT_EQ(notices,
        QStringList { QString::fromUtf8("提示|[观看端]开启连麦失败。\n[接口AddMeetingStreamer]错误: streamer refused") });
    const auto urls = sentOfType("stream_url");
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0]["url"].asString(), "");
    EXPECT_FALSE(form->coBroadcastPush());
    EXPECT_FALSE(form->isCoBroadcasting());
    EXPECT_TRUE(engine->closed(connection) || waitUntil([&] { return engine->closed(connection); }));
    EXPECT_EQ(tileOf(kSelfId), nullptr);
    // Nothing is announced later either.
    QTest::qWait(meetingTimings().delayedCommandMs + 200);
    EXPECT_EQ(sentOfType("stream_url").size(), 1u);
}

TEST_F(CoBroadcastViewer, VideoInvitationWithoutACameraIsAFailedPush)
{
    qunsetenv("TAVICAST_SYNTHETIC_CAMERA");
    const int connections = engine->connectionCount();
    invite(1);
    // Accepted, then ended at once: the host's row and tile go back to normal on the ending announcement.
    const auto replies = sentOfType("Receive.invitation");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0]["accept"].asBool());
    const auto ended = sentOfType("stream_url");
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0]["url"].asString(), "");
    EXPECT_EQ(ended[0]["user_id"].asInt64(), kSelfId);
    EXPECT_EQ(notices,
        QStringList { QString::fromUtf8("提示|[观看端]开启连麦失败。\n[摄像头]错误: 没有可用的摄像头") });
    EXPECT_FALSE(form->isCoBroadcasting());
    EXPECT_FALSE(form->coBroadcastPush());
    EXPECT_EQ(tileOf(kSelfId), nullptr);
    QTest::qWait(100);
    EXPECT_EQ(engine->connectionCount(), connections);

    // A voice invitation needs no camera.
    notices.clear();
    invite(2);
    ASSERT_TRUE(engine->waitForConnections(connections + 1));
    EXPECT_TRUE(form->isCoBroadcasting());
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(CoBroadcastViewer, OwnVideoTileShowsTheOwnPicture)
{
    const int connection = engine->connectionCount();
    invite(1);
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::frame(64, 36) }));
    ASSERT_TRUE(waitUntil([&] { return tileOf(kSelfId) != nullptr; }));
    MemberInteractForm* tile = tileOf(kSelfId);
    ASSERT_TRUE(tile->isSourceBound());
    auto* stream = tile->findChild<SourceWidget*>(QStringLiteral("widget_stream"));
    ASSERT_NE(stream, nullptr);
    form->show();
    // The pictures the push's connection reports are what its tile shows.
    const auto lit = [&] {
        engine->play(connection, { zovwebrtc::ScriptStep::frame(64, 36) });
        QCoreApplication::processEvents();
        const QImage image = stream->grab().toImage();
        int bright = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                bright += qGray(image.pixel(x, y)) > 40 ? 1 : 0;
        return bright;
    };
    int bright = 0;
    EXPECT_TRUE(waitUntil([&] {
        bright = lit();
        return bright > 20;
    }, 5000)) << bright;
}

TEST_F(CoBroadcastViewer, FailedSdpExchangeEndsTheCoBroadcast)
{
    const int connection = engine->connectionCount();
    invite(2);
    ASSERT_TRUE(engine->waitForConnections(connection + 1));
    chat->clearCalls();
    answer(connection, devservice::ScriptedReply::failure(4, "no forwarder"));
    settle();
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("提示|[观看端]开启连麦失败。\n[接口GetRtcSdp]错误: no forwarder") });
    EXPECT_EQ(sentOfType("stream_url").size(), 1u);
    EXPECT_FALSE(form->coBroadcastPush());
}

TEST_F(CoBroadcastViewer, OtherMembersTilesFollowTheirAnnouncements)
{
    memberCommand("p-other", chatcommand::streamUrl(7, 76, true, true));
    EXPECT_NE(tileOf(7), nullptr);
    memberCommand("p-other", chatcommand::streamUrlEnded(7));
    EXPECT_EQ(tileOf(7), nullptr);
}

// A viewer's first list of co-broadcasters may come before the room's members: the tiles follow them.
class CoBroadcastViewerJoining : public CoBroadcastFixture { };

TEST_F(CoBroadcastViewerJoining, CommandsAreLoggedByTypeAndTilesWaitForTheMemberList)
{
    DebugLines debug;
    setData(kRoomHostUserId, bg::Value(kHostId));
    join();
    ASSERT_TRUE(engine->waitForConnections(1));
    answer(0, success());
    ASSERT_TRUE(chat->fire(
        [](cr::UICallback& callback) { callback.onPeers(R"([{"id":"p-host","user_id":1,"handle":"主持人"}])"); }));
    memberCommand("p-host", R"({"type":"Lianmai_list","members":[{"user_id":7}]})");
    EXPECT_EQ(tileOf(7), nullptr) << "only the host is known yet";
    const char* everyone = R"([{"id":"p-host","user_id":1,"handle":"主持人"},
        {"id":"p-self","user_id":5,"handle":"小明"},{"id":"p-other","user_id":7,"handle":"小红"}])";
    ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) { callback.onPeers(everyone); }));
    settle();
    EXPECT_NE(tileOf(7), nullptr);

    const QStringList started = debug.starting(QString::fromUtf8("[观看端命令处理开始]:"));
    ASSERT_EQ(started.size(), 1);
    EXPECT_TRUE(started[0].contains(QStringLiteral("Lianmai_list"))) << started[0].toStdString();
}

// Screen cast ---------------------------------------------------------------------------------------------

class ScreenCast : public CoBroadcastFixture { };

TEST_F(ScreenCast, AnswersReachEveryRequester)
{
    startMeeting(true);
    const struct {
        const char* what;
        QList<qint64> requesters;
        qint64 member;
        bool accept;
        std::vector<std::pair<qint64, bool>> answers;
        QList<qint64> left;
        qint64 casting;
    } cases[] = {
        { "refuse", { 7, 8 }, 7, false, { { 7, false } }, { 8 }, -1 },
        { "accept with nobody waiting", {}, 7, true, { { 7, true } }, {}, 7 },
        { "accept one of the waiting", { 7, 8, 9 }, 8, true, { { 8, true }, { 7, false }, { 9, false } }, {}, 8 },
        { "accept a member that did not ask", { 7 }, 10, true, { { 10, true }, { 7, false } }, {}, 10 },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        form->removeScreenCastSource(form->screenCast().userId);
        for (qint64 id : row.requesters)
            form->addScreenCastRequester(id);
        chat->clearCalls();
        deliver(new ViewerMemberToupingEvent(row.member, row.accept));
        std::vector<std::pair<qint64, bool>> answers;
        for (const Json::Value& command : sentOfType("Receive.Touping"))
            answers.emplace_back(command["student_id"].asInt64(), command["accept"].asBool());
        EXPECT_EQ(answers, row.answers);
        EXPECT_EQ(sent().size(), row.answers.size());
        EXPECT_EQ(form->screenCastRequesters(), row.left);
        EXPECT_EQ(form->screenCast().userId, row.casting);
        if (row.accept) {
            EXPECT_EQ(form->screenCast().enabledMask, 3);
        }
        while (!form->screenCastRequesters().isEmpty())
            deliver(new ViewerMemberToupingEvent(form->screenCastRequesters().front(), false));
    }

    chat->clearCalls();
    deliver(new ViewerMemberToupingEndEvent(10));
    const auto ends = sentOfType("End.Touping");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]["student_id"].asInt64(), 10);

    // Removing the source of nobody, or of another member, changes nothing.
    for (qint64 other : { qint64(-1), qint64(7) }) {
        form->removeScreenCastSource(other);
        EXPECT_EQ(form->screenCast().userId, 10);
    }
    form->removeScreenCastSource(10);
    EXPECT_EQ(form->screenCast().userId, -1);
}

TEST_F(ScreenCast, WithoutAChatRoomNothingIsSentAndEndingChangesNothing)
{
    form->addScreenCastRequester(7);
    deliver(new ViewerMemberToupingEvent(7, false));
    deliver(new ViewerMemberToupingEndEvent(7));
    EXPECT_TRUE(chat->callsNamed("sendCommand").empty());
    EXPECT_EQ(form->screenCast().userId, -1);
    EXPECT_TRUE(form->screenCastRequesters().isEmpty());
}

} // namespace
