// A live meeting driven at awkward moments: the host pushes through the service's forwarder, two members'
// streams are pulled back (real engine, loopback namespace) and a viewer watches. Inside each event loop the
// form can run (a notice, a menu) and around a connection's deletion, the meeting is closed, an invitation is
// answered, a stream is announced again and a member leaves, in either order. Under AddressSanitizer nothing
// may be read after it was freed, and closing runs once.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "hosting_support.h"
#include "support/scoped_env.h"

#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/meetingclock.h"
#include "global/menurunner.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "media/peerconnectionwrapper.h"
#include "ui/part/chatcommands.h"

#include <chatroom/chatroom.h>
#include <devservice/mediaforwarder.h>
#include <studio/screengrabber.h>
#include <studio/zovmwidget.h>

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>

using sidepanel::waitUntil;

namespace {

constexpr char kMeetingKey[] = "88880002";
constexpr qint64 kFirst = 7; // co-broadcasting, pulled
constexpr qint64 kSecond = 8; // co-broadcasting, pulled
constexpr qint64 kViewer = 9; // watching; invited during the meeting

// How often the form finished closing: its last log line.
std::atomic<int> g_closings { 0 };
QtMessageHandler g_previous = nullptr;
void countClosings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QStringLiteral("[结束=====")))
        ++g_closings;
    if (g_previous)
        g_previous(type, context, text);
}

enum class Loop { Notice, Menu, Deletion };
enum class Order { CloseFirst, CloseLast };

class MeetingStressTest : public hosting::ServiceTest, public ::testing::WithParamInterface<std::tuple<Loop, Order>> {
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
        sidepanel::setData(kRoomUserToken, bg::Value("tok-stress"));
        sidepanel::setData(kRoomServiceHost, bg::ValueQt(QString::fromStdString(base)));
        sidepanel::setData(kRoomMeetingKeyMain, bg::Value(kMeetingKey));
        sidepanel::setData(kRoomChatHostMain, bg::Value(base));
        sidepanel::setData(kRoomChatWssMain, bg::Value(wss));
        sidepanel::setData(kRoomIsHost, bg::Value(true));
        sidepanel::setData(kRoomPusherNum, bg::Value(4LL));
        sidepanel::setData(kDataChatMicroNum, bg::Value(0LL));
        cfgSetStdString(CD->config, kCfgVideoSize, "320,180");
        devservice::RecordedRequest made;
        made.members["meetting_key"] = kMeetingKey;
        made.members["password"] = "580917";
        made.members["token"] = "tok-stress";
        ASSERT_EQ(rooms->create(made).errcode, 0);
        form = std::make_unique<MeetingMainForm>();
        form->resize(1000, 600);
        form->form()->widget_center->setConnectTimeoutMs(20000);
        g_closings = 0;
        g_previous = qInstallMessageHandler(countClosings);
    }

    void TearDown() override
    {
        qInstallMessageHandler(g_previous);
        g_previous = nullptr;
        setMenuRunner({});
        delete viewer;
        viewer = nullptr;
        form.reset();
        studio::setScreenGrabber({});
        hosting::ServiceTest::TearDown();
    }

    cr::UICallback& room() { return *form; }

    void command(const char* chatId, const Json::Value& value)
    {
        room().onRecievedCommand(chatId, "h", cr::quoted(chatcommand::text(value)), 0);
    }

    const CoBroadcastRecord* recordOf(qint64 id)
    {
        for (const CoBroadcastRecord& record : form->coBroadcasts()) {
            if (record.userId == id)
                return &record;
        }
        return nullptr;
    }

    bool pulling(qint64 id)
    {
        const CoBroadcastRecord* record = recordOf(id);
        return record && record->connection && record->connection->frameWidth() > 0;
    }

    // The host live, a viewer watching its picture, two members co-broadcasting and their streams pulled
    // back, the viewer invited.
    void goLive()
    {
        V3ReadyToCreateMeetingEvent ready(QString::fromUtf8("压力"), "580917", QRect(), 2, 7200, 50);
        QCoreApplication::sendEvent(form.get(), &ready);
        ASSERT_TRUE(waitUntil([&] { return form->isStreaming(); }, 30000)) << notices.join('|').toStdString();
        ASSERT_TRUE(waitUntil([&] { return !rooms->meetings().empty() && rooms->meetings()[0].started(); }, 10000));
        stream = form->form()->widget_center->GetWebrtcRoomID();
        ASSERT_TRUE(waitUntil([&] { return service->forwarder()->holds(stream); }, 20000));

        // The viewer's pull of the host's picture.
        zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory(nullptr);
        viewer = new PeerConnectionWrapper(QString(), QString(), factory);
        std::string offer;
        bool viewerReady = false;
        QObject::connect(viewer, &PeerConnectionWrapper::IceGatheringCompleted, form.get(),
            [&](QString, QString sdp) { offer = sdp.toStdString(); });
        QObject::connect(viewer, &PeerConnectionWrapper::StreamReady, form.get(), [&] { viewerReady = true; });
        viewer->CreateOffer(true, true);
        ASSERT_TRUE(waitUntil([&] { return !offer.empty(); }, 20000));
        const devservice::ForwarderAnswer answer = service->forwarder()->play(stream, offer);
        ASSERT_TRUE(answer.ok) << answer.error;
        viewer->SetRemoteSdp(QString::fromStdString(answer.sdp));
        ASSERT_TRUE(waitUntil([&] { return viewerReady; }, 20000));
        viewer->disconnect(form.get());
        zovwebrtc::destroy_peer_connection_factory(&factory); // connections outlive their factory

        const QString peers = QStringLiteral(R"([{"id":"p-7","user_id":7,"handle":"小红"},
            {"id":"p-8","user_id":8,"handle":"小刚"},{"id":"p-9","user_id":9,"handle":"小明"}])");
        room().onPeers(peers.toStdString());
        for (qint64 id : { kFirst, kSecond }) {
            EventDeliverer::instance()->deliver(new ViewerMemberInviteEvent(id, 1, true));
            sidepanel::settle();
            const std::string chatId = "p-" + std::to_string(id);
            command(chatId.c_str(), chatcommand::receiveInvitation(id, true));
            command(chatId.c_str(), chatcommand::streamUrl(id, stream, true, true));
        }
        ASSERT_TRUE(waitUntil([&] { return pulling(kFirst) && pulling(kSecond); }, 30000))
            << notices.join('|').toStdString();
        EventDeliverer::instance()->deliver(new ViewerMemberInviteEvent(kViewer, 2, true));
        sidepanel::settle();
        notices.clear();
    }

    // The four things that may happen at any time, queued in the given order as they would arrive.
    void queueEverything(Order order)
    {
        auto* context = form.get();
        const auto close = [] { EventDeliverer::instance()->deliver(new CloseMeetingEvent); };
        const auto others = [this, context] {
            QMetaObject::invokeMethod(
                context, [this] { command("p-9", chatcommand::receiveInvitation(kViewer, true)); },
                Qt::QueuedConnection);
            QMetaObject::invokeMethod(
                context, [this] { command("p-8", chatcommand::streamUrl(kSecond, stream, true, true)); },
                Qt::QueuedConnection);
            QMetaObject::invokeMethod(context, [this] { room().onPeerLeft("p-7", "{}"); }, Qt::QueuedConnection);
        };
        if (order == Order::CloseFirst) {
            close();
            others();
        } else {
            others();
            QMetaObject::invokeMethod(context, close, Qt::QueuedConnection);
        }
    }

    // A modal box or menu: everything queued is handled inside its own loop.
    void nestedLoop(Order order)
    {
        ++nestedLoops;
        queueEverything(order);
        QEventLoop loop;
        QMetaObject::invokeMethod(&loop, [&] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); },
            Qt::QueuedConnection);
        loop.exec();
    }

    QTemporaryDir config;
    ScopedEnv home { "XDG_CONFIG_HOME", config.path().toStdString() };
    ScopedEnv desktopSound { "TAVICAST_DESKTOP_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    ScopedEnv microphone { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    std::unique_ptr<MeetingMainForm> form;
    PeerConnectionWrapper* viewer = nullptr;
    long long stream = 0;
    int nestedLoops = 0;
};

TEST_P(MeetingStressTest, EverythingArrivingInsideANestedLoopIsHandledOnceAndSafely)
{
    const auto [where, order] = GetParam();
    goLive();
    if (HasFatalFailure())
        return;

    switch (where) {
    case Loop::Notice:
        // Member 7 announces again and its new pull's answer fails: the failure notice is modal.
        setMeetingNoticeSink([this, order = order](const QString&, const QString& text, int) {
            notices << text;
            if (text.startsWith(QString::fromUtf8("连麦失败")))
                nestedLoop(order);
        });
        service->script("/test/getRtcSdp", devservice::ScriptedReply::failure(3, "stream gone"));
        command("p-7", chatcommand::streamUrl(kFirst, stream, true, true));
        ASSERT_TRUE(waitUntil([&] { return nestedLoops == 1; }, 30000)) << notices.join('|').toStdString();
        break;
    case Loop::Menu:
        setMenuRunner([this, order = order](QMenu& menu, QPoint) -> QAction* {
            nestedLoop(order);
            return menu.actions().value(0);
        });
        form->OnMemberContextMenuRequested(kSecond);
        ASSERT_EQ(nestedLoops, 1);
        break;
    case Loop::Deletion: {
        // Everything is queued, then a new announcement deletes member 8's pull: nothing queued runs inside.
        queueEverything(order);
        bool ranInside = false;
        QMetaObject::invokeMethod(form.get(), [&] { ranInside = true; }, Qt::QueuedConnection);
        const PeerConnectionWrapper* before = recordOf(kSecond)->connection.data();
        command("p-8", chatcommand::streamUrl(kSecond, stream, true, true));
        EXPECT_FALSE(ranInside) << "deleting a connection ran the event loop";
        if (order == Order::CloseLast) {
            ASSERT_NE(recordOf(kSecond), nullptr);
            EXPECT_NE(recordOf(kSecond)->connection.data(), before);
        }
        sidepanel::settle();
        EXPECT_TRUE(ranInside);
        break;
    }
    }
    sidepanel::settle();

    EXPECT_TRUE(form->isClosing());
    EXPECT_EQ(g_closings.load(), 1);
    EXPECT_TRUE(form->coBroadcasts().isEmpty());
    EXPECT_TRUE(form->coBroadcastMembers().empty());
    EXPECT_TRUE(form->form()->widget_center->sources().empty());
    EXPECT_FALSE(form->hostAudioPush());
    // Every pull is handed back to the engine and let go of; the viewer's only when it goes.
    delete viewer;
    viewer = nullptr;
    EXPECT_TRUE(waitUntil([] { return PeerConnectionWrapper::closingConnections() == 0; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return requestsTo("/room/deleteMeetting") == 1; }));

    // A second close changes nothing.
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    sidepanel::settle();
    EXPECT_EQ(g_closings.load(), 1);
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Loop, Order>>& info)
{
    static const char* const loops[] = { "Notice", "Menu", "Deletion" };
    static const char* const orders[] = { "CloseFirst", "CloseLast" };
    return std::string(loops[int(std::get<0>(info.param))]) + orders[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Loops, MeetingStressTest,
    ::testing::Combine(::testing::Values(Loop::Notice, Loop::Menu, Loop::Deletion),
        ::testing::Values(Order::CloseFirst, Order::CloseLast)),
    caseName);

} // namespace
