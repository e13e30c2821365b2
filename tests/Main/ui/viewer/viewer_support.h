#pragma once

// A viewer's meeting form in a test: the scripted WebRTC engine, the fake chat service, the local service
// for the SDP answers, notices and debug lines recorded, short delays.

#include "ui/part/meetingmainform.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/meetingtimings.h"
#include "global/openglpresence.h"
#include "global/roomkeys.h"
#include "app/meetingnotice.h"
#include "net/netmanager.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <chatroom/fakebackend.h>
#include <devservice/service.h>
#include <zovwebrtc/engine.h>
#include <zovwebrtc/scriptedengine.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>

namespace viewertest {

inline void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

inline bool waitUntil(const std::function<bool()>& done, int deadlineMs = 30000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

// Debug lines of the program, recorded while an instance lives.
class DebugLines {
public:
    DebugLines()
    {
        s_self = this;
        m_previous = qInstallMessageHandler(&DebugLines::record);
    }
    ~DebugLines()
    {
        qInstallMessageHandler(m_previous);
        s_self = nullptr;
    }
    QStringList lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    QStringList starting(const QString& prefix) const
    {
        QStringList found;
        for (const QString& line : lines()) {
            if (line.startsWith(prefix))
                found << line;
        }
        return found;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        if (!s_self)
            return;
        std::lock_guard lock(s_self->m_mutex);
        s_self->m_lines << text;
    }
    static inline DebugLines* s_self = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

class ViewerFixture : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        devservice::Service::Options options;
        options.https = false;
        s_service = new devservice::Service(options);
        std::string error;
        ASSERT_TRUE(s_service->start(&error)) << error;
        NetManager::instance()->start(QThread::InheritPriority);
    }
    static void TearDownTestSuite()
    {
        NetManager::instance()->stop();
        delete s_service;
        s_service = nullptr;
    }

    void SetUp() override
    {
        engine = std::make_shared<zovwebrtc::ScriptedEngine>();
        zovwebrtc::setDefaultEngine(engine);
        chat = std::make_unique<cr::FakeChatService>();
        chat->join.memberId = kSelfId;
        setData(kRoomServiceHost, bg::Value(s_service->baseUrl()));
        setData(kRoomIsHost, bg::Value(false));
        setData(kRoomHostUserId, bg::Value(0LL));
        setOpenGLPresence([] { return false; });
        meetingTimings().streamReadyMs = 200;
        meetingTimings().hostAudioPullMs = 300;
        meetingTimings().delayedCommandMs = 200;
        setMeetingNoticeSink([this](const QString& title, const QString& text, int) {
            notices << title + QStringLiteral("|") + text;
        });
        s_service->clearRequests();
        form = std::make_unique<MeetingMainForm>();
    }

    void TearDown() override
    {
        form.reset();
        chat.reset();
        setMeetingNoticeSink({});
        setOpenGLPresence({});
        meetingTimings() = MeetingTimings();
        zovwebrtc::setDefaultEngine(nullptr);
    }

    static constexpr qint64 kSelfId = 5;
    static constexpr qint64 kHostId = 1;
    static constexpr qint64 kOtherId = 7;

    void join(qint64 mainStreamId = 4242, const QString& chatHost = QStringLiteral("http://127.0.0.1:1"),
        const QString& chatWss = QStringLiteral("ws://127.0.0.1:1"))
    {
        QCoreApplication::sendEvent(form.get(),
            std::make_unique<V3ReadyToAddMeetingEvent>(QStringLiteral("小明"), mainStreamId, QString(),
                chatHost, chatWss, QStringLiteral("周会"),
                QStringLiteral("1001"), QStringLiteral("room-secret"), QString(), 0, 10)
                .get());
    }

    // Scripts the next SDP answer and lets the connection finish gathering: one request, one answer.
    void answer(int connection, const devservice::ScriptedReply& reply)
    {
        s_service->script("/test/getRtcSdp", reply);
        const size_t before = sdpRequests();
        // The pull hears its connection once it holds it; its offer is the first call it makes with it.
        ASSERT_TRUE(engine->waitForCall(connection, "createOffer"));
        ASSERT_TRUE(engine->play(connection, { zovwebrtc::ScriptStep::iceComplete() }));
        ASSERT_TRUE(waitUntil([&] { return sdpRequests() > before; }));
        ASSERT_TRUE(NetManager::instance()->waitIdle(30000));
        QTest::qWait(200); // the queued result
        QCoreApplication::sendPostedEvents();
    }

    static devservice::ScriptedReply success()
    {
        Json::Value result(Json::objectValue);
        result["sdp"] = QByteArray("v=0 answer").toBase64().toStdString();
        return devservice::ScriptedReply::success(result);
    }

    static size_t sdpRequests()
    {
        size_t count = 0;
        for (const auto& request : s_service->requests())
            count += request.path.rfind("/test/getRtcSdp", 0) == 0 ? 1 : 0;
        return count;
    }

    // The member map as the room reports it: the host, the viewer itself and another member.
    void peers()
    {
        const char* peers = R"([{"id":"p-host","user_id":1,"handle":"主持人"},
            {"id":"p-self","user_id":5,"handle":"小明"},{"id":"p-other","user_id":7,"handle":"小红"}])";
        ASSERT_TRUE(chat->fire([&](cr::UICallback& callback) { callback.onPeers(peers); }));
    }

    void command(const char* chatId, const std::string& json)
    {
        ASSERT_TRUE(chat->fire(
            [&](cr::UICallback& callback) { callback.onRecievedCommand(chatId, "handle", cr::quoted(json), 0); }));
    }

    static inline devservice::Service* s_service = nullptr;
    std::shared_ptr<zovwebrtc::ScriptedEngine> engine;
    std::unique_ptr<cr::FakeChatService> chat;
    std::unique_ptr<MeetingMainForm> form;
    QStringList notices;
};

} // namespace viewertest
