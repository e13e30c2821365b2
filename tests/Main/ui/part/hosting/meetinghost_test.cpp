// The host's meeting form against the local service: its studio pushes through the service's forwarder, its
// chat room lives on the service, its requests reach the room service.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "hosting_support.h"
#include "platform/chatroom/chatroom_harness.h"
#include "support/scoped_env.h"

#include "app/localserver.h"
#include "global/customevents.h"
#include "global/meetingclock.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmemberform.h"
#include "ui/part/memberrecord.h"
#include "ui/part/newmeetingreadyform.h"

#include <studio/screengrabber.h>
#include <studio/zovmwidget.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>

#include <atomic>

using sidepanel::EventLog;
using sidepanel::waitUntil;

namespace {

constexpr char kMeetingKey[] = "88880001";
constexpr char kHostToken[] = "tok-host";

TEST(MeetingMainFormText, PushAddressClockAndCommandText)
{
    struct Address {
        const char* host;
        const char* address;
    };
    for (const Address& a : { Address { "https://rooms.example.com/cmdApi",
                                  "webrtcs://rooms.example.com/cmdApi/test/getRtcSdp?meetting_key=K&main=1" },
             Address { "http://127.0.0.1:8", "webrtc://127.0.0.1:8/test/getRtcSdp?meetting_key=K&main=1" },
             Address { "rooms.example.com", "rooms.example.com/test/getRtcSdp?meetting_key=K&main=1" },
             Address { "HTTP://x", "HTTP://x/test/getRtcSdp?meetting_key=K&main=1" } })
        EXPECT_EQ(MeetingMainForm::pushAddress(a.host, "K"), QString::fromLatin1(a.address));

    EXPECT_EQ(MeetingMainForm::clockText(0), "00:00:00");
    EXPECT_EQ(MeetingMainForm::clockText(3725), "01:02:05");
    EXPECT_EQ(MeetingMainForm::clockText(360000), "100:00:00");

    struct Command {
        const char* text;
        const char* clean;
    };
    for (const Command& c : {
             Command { R"("{\"type\":\"stream_end\",\"text\":\"a}b\\n\"}")", R"({"type":"stream_end","text":"a}b\n"})" },
             Command { R"(  "{\"type\":\"x\"}"  )", R"({"type":"x"})" },
             Command { R"(xx{"type":"y"}yy)", R"({"type":"y"})" },
             Command { R"({"a":{"b":1}})", R"({"a":{"b":1}})" },
             Command { "no braces", "" },
             Command { "}{", "" },
             Command { R"("just text")", "just text" },
             Command { "", "" },
         })
        EXPECT_EQ(MeetingMainForm::cleanCommandText(QString::fromUtf8(c.text)), QString::fromUtf8(c.clean)) << c.text;
}

// Both forms leave the event hub with their life: nothing is delivered to a form that is gone.
TEST(MeetingFormsLifetime, DestroyedFormsReceiveNothing)
{
    { NewMeetingReadyForm ready; }
    {
        QTemporaryDir config;
        ScopedEnv home("XDG_CONFIG_HOME", config.path().toStdString());
        MeetingMainForm meeting;
    }
    EventDeliverer::instance()->deliver(new V3LogoutEvent);
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    EventDeliverer::instance()->deliver(new SendChatMsg(QStringLiteral("hello")));
    sidepanel::settle();
}

class MeetingHostTest : public hosting::ServiceTest {
protected:
    void SetUp() override
    {
        hosting::ServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(config.isValid());
        studio::setScreenGrabber([](DesktopPicture& picture) {
            picture.width = 320;
            picture.height = 180;
            picture.stride = 320 * 4;
            picture.bgra.assign(size_t(picture.stride) * 180, 0x80);
            return true;
        });
        setMeetingClock([this] { return nowMs.load(); });
        sidepanel::setData(kRoomUserToken, bg::Value(kHostToken));
        sidepanel::setData(kRoomServiceHost, bg::ValueQt(QString::fromStdString(base)));
        sidepanel::setData(kRoomMeetingKeyMain, bg::Value(kMeetingKey));
        sidepanel::setData(kRoomChatHostMain, bg::Value(base));
        sidepanel::setData(kRoomChatWssMain, bg::Value(wss));
        sidepanel::setData(kRoomIsHost, bg::Value(true));
        cfgSetStdString(CD->config, kCfgVideoSize, "640,360");
        devservice::RecordedRequest made;
        made.members["meetting_key"] = kMeetingKey;
        made.members["password"] = "580917";
        made.members["token"] = kHostToken;
        ASSERT_EQ(rooms->create(made).errcode, 0);
        form = std::make_unique<MeetingMainForm>();
        form->resize(1000, 600);
        studio()->setConnectTimeoutMs(20000);
    }

    void TearDown() override
    {
        form.reset();
        guest.reset();
        studio::setScreenGrabber({});
        setMeetingClock({});
        hosting::ServiceTest::TearDown();
    }

    ZovMWidget* studio() const { return form->form()->widget_center; }

    void start(int audioMode = 2, const QRect& area = QRect())
    {
        V3ReadyToCreateMeetingEvent ready(QString::fromUtf8("周会"), "580917", area, audioMode, 7200, 50);
        QCoreApplication::sendEvent(form.get(), &ready);
    }

    // Waits until the push runs, the chat room is made and the stream is registered.
    void startLive()
    {
        start();
        ASSERT_TRUE(waitUntil([&] { return form->isStreaming(); }, 30000)) << notices.join('|').toStdString();
        ASSERT_TRUE(waitUntil(
            [&] { return !rooms->meetings().empty() && rooms->meetings()[0].started(); }, 10000));
    }

    void close()
    {
        CloseMeetingEvent closing;
        QCoreApplication::sendEvent(form.get(), &closing);
    }

    QTemporaryDir config;
    ScopedEnv home { "XDG_CONFIG_HOME", config.path().toStdString() };
    ScopedEnv desktopSound { "TAVICAST_DESKTOP_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    ScopedEnv microphone { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    std::atomic<qint64> nowMs { 1700000000000LL };
    std::unique_ptr<MeetingMainForm> form;
    std::unique_ptr<chattest::Member> guest;
};

TEST_F(MeetingHostTest, SetUpFollowsTheSoundAreaAndSize)
{
    struct Row {
        int mode;
        bool micMuted;
        bool desktopMuted;
    };
    for (const Row row : { Row { 0, true, false }, Row { 1, false, true }, Row { 2, false, false },
             Row { 3, true, true }, Row { 4, false, false } }) {
        SCOPED_TRACE(row.mode);
        start(row.mode);
        EXPECT_EQ(studio()->isMicrophoneMuted(), row.micMuted);
        EXPECT_EQ(studio()->isDesktopAudioMuted(), row.desktopMuted);
        EXPECT_TRUE(studio()->hasMicrophone());
        close();
        EXPECT_TRUE(studio()->sources().empty());
    }

    struct Area {
        QRect area;
        QRect captured;
    };
    for (const Area a : { Area { QRect(10, 20, 300, 200), QRect(10, 20, 300, 200) },
             Area { QRect(10, 20, 0, 200), QRect() } }) {
        start(2, a.area);
        const auto sources = studio()->sources();
        ASSERT_EQ(sources.size(), 1u);
        EXPECT_EQ(sources[0].kind, StudioSourceKind::Desktop);
        EXPECT_EQ(sources[0].screenArea, a.captured);
        close();
    }

    for (const auto& [size, portrait] : { std::pair { "720,1280", true }, std::pair { "1280,1280", true },
             std::pair { "1280,720", false } }) {
        cfgSetStdString(CD->config, kCfgVideoSize, size);
        start();
        EXPECT_EQ(form->isPortrait(), portrait) << size;
        EXPECT_EQ(QString::fromStdString(cfgGetString(CD->config, kCfgLastMeetingSize, "")), size);
        close();
    }
    EXPECT_TRUE(notices.isEmpty()) << notices.join('|').toStdString();
}

// The main window clears the run-time meeting keys on the same closing event, and may get it first: the
// service is still asked to delete the meeting that was started.
TEST_F(MeetingHostTest, ClosingDeletesTheStartedMeetingWhenTheKeysAreAlreadyCleared)
{
    startLive();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(rooms->meetings().size(), 1u);
    sidepanel::setData(kRoomMeetingKeyMain, bg::Value(""));
    close();
    EXPECT_TRUE(waitUntil([&] { return requestsTo("/room/deleteMeetting") == 1; }));
    EXPECT_TRUE(waitUntil([&] { return rooms->meetings().empty(); }));
}

TEST_F(MeetingHostTest, BallTakesTheFirstFreePort)
{
    QTcpServer taken;
    const bool holding = taken.listen(QHostAddress::LocalHost, 20000);
    start();
    EXPECT_EQ(form->ballPort(), holding ? 20001 : 20000);
    EXPECT_EQ(launched, QStringList { QStringLiteral("ZovMeetingBall %1").arg(form->ballPort()) });
    close();
    EXPECT_EQ(form->ballServer(), nullptr);
}

TEST_F(MeetingHostTest, LiveMeetingClosesEveryPart)
{
    EventLog log({ UserEventType::V3StreamReady, UserEventType::ReciveChatMsg });
    startLive();
    if (HasFatalFailure())
        return;

    // The room's keys for the panel, the room on the service, the stream in the meeting.
    const auto chatRooms = service->chatRooms();
    ASSERT_EQ(chatRooms.size(), 1u);
    EXPECT_EQ(form->roomId().toStdString(), chatRooms[0].roomId);
    EXPECT_EQ(CD->data->get_data(kRoomChatroomId, bg::Value(0)).toInt64(), std::stoll(chatRooms[0].roomId));
    EXPECT_EQ(QString::fromStdString(CD->data->get_data(kRoomChatroomPwd, bg::Value("")).toStdString()),
        form->roomPassword());
    EXPECT_EQ(CD->data->get_data(kRoomChatroomHost, bg::Value("")).toStdString(), base);
    EXPECT_EQ(form->roomPassword().size(), 16);
    EXPECT_NE(form->roomPassword(), QStringLiteral("plorvanex2031"));
    const auto meeting = rooms->meetings()[0];
    ASSERT_EQ(meeting.streamers.size(), 1u);
    EXPECT_EQ(meeting.streamers[0].streamId, studio()->GetWebrtcRoomID());
    EXPECT_EQ(meeting.roomId, chatRooms[0].roomId);
    sidepanel::settle();
    EXPECT_EQ(log.of<V3StreamReadyEvent>().size(), 1u);

    // The ball hears the clock; the clock reads the meeting's time.
    QTcpSocket ball;
    ball.connectToHost(QHostAddress::LocalHost, form->ballPort());
    ASSERT_TRUE(ball.waitForConnected(5000));
    nowMs += 3725 * 1000;
    ASSERT_TRUE(waitUntil([&] { return form->liveTimeText() == "01:02:05"; }));
    QByteArray heard;
    EXPECT_TRUE(waitUntil([&] {
        heard += ball.readAll();
        return heard.contains("\"duration\": 3725");
    })) << heard.toStdString();

    // Another member comes in and is listed beside the host.
    guest = std::make_unique<chattest::Member>();
    std::string error;
    ASSERT_TRUE(guest->room->joinRoom(form->roomId().toStdString(), 0, form->roomPassword().toStdString(),
        guest->joined, error))
        << error;
    ASSERT_TRUE(guest->room->wsConnect(form->roomId().toStdString(), guest->joined.token, "alice",
        guest->joined.memberId, "", true));
    ASSERT_TRUE(waitUntil([&] { return form->members().size() == 2; }));

    close();
    EXPECT_TRUE(form->isClosing());
    EXPECT_TRUE(studio()->sources().empty());
    EXPECT_FALSE(studio()->isStreaming());
    EXPECT_TRUE(service->chatRooms().empty()) << "the room is disposed";
    EXPECT_TRUE(waitUntil([&] {
        for (const auto& cmd : guest->callback.named("cmd"))
            if (cmd.args[2].find("stream_end") != std::string::npos)
                return true;
        return false;
    }));
    EXPECT_TRUE(waitUntil([&] { return rooms->meetings().empty(); }));
    // The service records a request once its handler has answered.
    EXPECT_TRUE(waitUntil([&] { return requestsTo("/room/deleteMeetting") == 1; }));
    EXPECT_TRUE(waitUntil([&] { return ball.bytesAvailable() > 0 || ball.state() != QAbstractSocket::ConnectedState; }));
    EXPECT_TRUE(ball.readAll().contains("\"hide\""));
    EXPECT_EQ(form->liveTimeText(), "00:00:00");
    EXPECT_TRUE(form->members().isEmpty());

    // A second close changes nothing.
    close();
    NetManager::instance()->waitIdle(5000);
    sidepanel::settle();
    EXPECT_EQ(requestsTo("/room/deleteMeetting"), 1);
    EXPECT_TRUE(notices.isEmpty()) << notices.join('|').toStdString();
}

TEST_F(MeetingHostTest, PoppedOutPagesReturnToThePanelAtTheEnd)
{
    start();
    MeetingMemberForm* panel = form->form()->widget_right;
    QWidget* chat = panel->chatRoomForm();
    form->showChatRoomDialog();
    form->showMemberListDialog();
    form->showChatRoomDialog();
    QPointer<QWidget> chatWindow = form->chatRoomDialog();
    QPointer<QWidget> memberWindow = form->memberListDialog();
    ASSERT_TRUE(chatWindow && memberWindow);
    EXPECT_TRUE(chatWindow->isAncestorOf(chat));
    EXPECT_TRUE(chatWindow->isVisible());

    close();
    EXPECT_EQ(form->chatRoomDialog(), nullptr);
    EXPECT_EQ(form->memberListDialog(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return !chatWindow && !memberWindow; }));
    EXPECT_TRUE(panel->isAncestorOf(chat));
    EXPECT_EQ(static_cast<QWidget*>(panel->chatRoomForm()), chat);

    // The panel's own close button ends a pop-out too, and the page comes back.
    start();
    form->showChatRoomDialog();
    emit panel->sig_hideChatroomDialog();
    EXPECT_EQ(form->chatRoomDialog(), nullptr);
    EXPECT_TRUE(panel->isAncestorOf(chat));
    close();
}

TEST_F(MeetingHostTest, LimitEndsTheMeetingOnTheFirstTickPastIt)
{
    EventLog log({ UserEventType::CloseMeeting });
    startLive();
    if (HasFatalFailure())
        return;
    nowMs += 86400 * 1000LL;
    ASSERT_TRUE(waitUntil([&] { return form->liveTimeText() == "24:00:00"; }));
    sidepanel::settle();
    EXPECT_TRUE(log.events.empty());
    nowMs += 1000;
    ASSERT_TRUE(waitUntil([&] { return !log.events.empty(); }));
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("本场直播时间已到达开启上限") });
    EXPECT_TRUE(isNormalCancel());
}

TEST_F(MeetingHostTest, FailuresToGoLiveSayWhyAndClose)
{
    struct Row {
        const char* what;
        std::function<void(devservice::Service&)> arrange;
        QString notice;
    };
    const std::vector<Row> rows = {
        { "the chat room is not made",
            [](devservice::Service& s) { s.script("/chat/room/create", devservice::ScriptedReply::failure(500, "down")); },
            QString::fromUtf8("加入聊天室失败") },
        { "the stream is refused",
            [](devservice::Service& s) {
                s.script("/room/addMeettingStreamer", devservice::ScriptedReply::failure(4203, "nope"));
            },
            QString::fromUtf8("开启直播失败。\n错误:[add streamer] 4203 nope") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        notices.clear();
        EventLog log({ UserEventType::CloseMeeting });
        row.arrange(*service);
        start();
        ASSERT_TRUE(waitUntil([&] { return !log.events.empty(); }, 30000));
        EXPECT_EQ(notices, QStringList { row.notice });
        EXPECT_TRUE(form->isClosing());
        EXPECT_FALSE(studio()->isStreaming());
        EXPECT_TRUE(service->chatRooms().empty());
    }
}

TEST_F(MeetingHostTest, UnexpectedPushStopEndsTheMeeting)
{
    startLive();
    if (HasFatalFailure())
        return;
    studio()->StopStreaming();
    ASSERT_TRUE(waitUntil([&] { return form->isClosing(); }));
    EXPECT_EQ(notices, QStringList { QString::fromUtf8("直播出现异常，请稍后重试") });
    EXPECT_TRUE(waitUntil([&] { return rooms->meetings().empty(); }));
    EXPECT_TRUE(service->chatRooms().empty());
}

// Every log line of the program, for what it must not show.
QStringList* capturedLog = nullptr;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (capturedLog)
        capturedLog->append(text);
}

TEST_F(MeetingHostTest, ChatRoomMembersSilenceAndSecretsKeptOutOfTheLog)
{
    QStringList lines;
    capturedLog = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    startLive();
    qInstallMessageHandler(previous);
    capturedLog = nullptr;
    if (HasFatalFailure())
        return;
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(QLatin1String(kHostToken))) << line.toStdString();
        EXPECT_FALSE(line.contains(form->roomPassword())) << line.toStdString();
    }

    const std::string roomId = form->roomId().toStdString();
    const std::string password = form->roomPassword().toStdString();
    const auto enter = [&](chattest::Member& member, const char* handle) {
        std::string error;
        ASSERT_TRUE(member.room->joinRoom(roomId, 0, password, member.joined, error)) << error;
        ASSERT_TRUE(member.room->wsConnect(roomId, member.joined.token, handle, member.joined.memberId, "", true));
    };
    const auto shutup = [&](long long memberId) {
        for (const auto& room : service->chatRooms())
            for (const auto& member : room.members)
                if (member.memberId == memberId)
                    return member.shutup;
        return -1;
    };
    guest = std::make_unique<chattest::Member>();
    enter(*guest, "alice");
    ASSERT_TRUE(waitUntil([&] { return form->members().size() == 2; }));
    MeetingMemberForm* panel = form->form()->widget_right;
    ASSERT_EQ(panel->memberRecords().size(), 2);

    // Silence for all: the guest at once, never the host; a newcomer as soon as it comes in.
    emit panel->SignalForbiddenAll(true);
    EXPECT_TRUE(waitUntil([&] { return shutup(guest->joined.memberId) == 1; }));
    EXPECT_EQ(shutup(form->selfMemberId()), 0);
    chattest::Member late;
    enter(late, "bob");
    ASSERT_TRUE(waitUntil([&] { return form->members().size() == 3; }));
    EXPECT_TRUE(waitUntil([&] { return shutup(late.joined.memberId) == 1; }));
    EXPECT_EQ(shutup(form->selfMemberId()), 0);
    emit panel->SignalForbiddenAll(false);
    EXPECT_TRUE(waitUntil([&] { return shutup(guest->joined.memberId) == 0 && shutup(late.joined.memberId) == 0; }));

    // The host's own row keeps its name; the lowest member id is the host.
    for (const MemberRecord& record : panel->memberRecords()) {
        EXPECT_FALSE(record.displayName.endsWith(QString::fromUtf8(" (我)")));
        EXPECT_EQ(record.host, record.userId == form->selfMemberId());
    }
    close();
}

// The member list as the room reports it: the lowest member id is the host's; a viewer's own row says so.
TEST(MeetingMainFormMembers, HostIsTheLowestIdAndTheOwnRowIsMarked)
{
    QTemporaryDir config;
    ScopedEnv home("XDG_CONFIG_HOME", config.path().toStdString());
    MeetingMainForm form;
    cr::UICallback& room = form;
    const auto peer = [](long long id, const char* chatId, const char* name) {
        return QStringLiteral(R"({"user_id":%1,"id":"%2","handle":"%3","shutup":0,"user_data":"{\"deviceType\":\"PC\",\"nickname\":\"%3\"}"})")
            .arg(id)
            .arg(chatId, QString::fromUtf8(name));
    };
    // Not hosting, and no member id of its own yet: the row of member 0 is this client's.
    room.onPeers(QStringLiteral("[%1,%2,%3,%4]")
                     .arg(peer(5, "c5", "e"), peer(3, "c3", "c"), peer(9, "c9", "i"), peer(0, "c0", "me"))
                     .toStdString());
    const auto records = form.form()->widget_right->memberRecords();
    ASSERT_EQ(records.size(), 4);
    for (const MemberRecord& record : records) {
        EXPECT_EQ(record.host, record.userId == 0) << record.userId;
        EXPECT_EQ(record.displayName.endsWith(QString::fromUtf8(" (我)")), record.userId == 0);
    }
    EXPECT_EQ(CD->data->get_data(kRoomHostUserId, bg::Value(-1)).toInt64(), 0);

    room.onPeerLeft("c0", "{}");
    const auto left = form.form()->widget_right->memberRecords();
    ASSERT_EQ(left.size(), 3);
    for (const MemberRecord& record : left)
        EXPECT_EQ(record.host, record.userId == 3) << record.userId;
    EXPECT_EQ(CD->data->get_data(kRoomHostUserId, bg::Value(-1)).toInt64(), 3);

    // A peer that does not parse changes nothing.
    room.onPeerJoined("c7", "x", "PC", "not json");
    room.onPeers("{not an array");
    EXPECT_EQ(form.members().size(), 3);
}

} // namespace
