// The connection wrapper over the GStreamer engine, against the local service's forwarder on loopback:
// deleting a connected wrapper hands its connection to the engine and runs none of this thread's events.
#include "media/peerconnectionwrapper.h"

#include "support/scoped_env.h"

#include <devservice/mediaforwarder.h>
#include <zovwebrtc/zovwebrtc.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// One wrapper with what it reported, received on this thread.
struct Endpoint {
    explicit Endpoint(zovwebrtc::peer_connection_factory* factory)
        : wrapper(new PeerConnectionWrapper(QString(), QString(), factory))
    {
        QObject::connect(wrapper, &PeerConnectionWrapper::IceGatheringCompleted, &context,
            [this](QString, QString sdp) { offer = sdp.toStdString(); });
        QObject::connect(wrapper, &PeerConnectionWrapper::StreamReady, &context, [this] { ready = true; });
    }
    QObject context;
    PeerConnectionWrapper* wrapper;
    std::string offer;
    bool ready = false;
};

class PeerConnectionWrapperEngineTest : public ::testing::Test {
protected:
    void SetUp() override { m_factory = zovwebrtc::create_peer_connection_factory(nullptr); }
    void TearDown() override { zovwebrtc::destroy_peer_connection_factory(&m_factory); }

    // Offers, hands the offer to the forwarder and applies its answer; true once the media flows.
    bool connect(Endpoint& endpoint, const std::function<devservice::ForwarderAnswer(const std::string&)>& ask)
    {
        if (!waitUntil([&] { return !endpoint.offer.empty(); }))
            return false;
        const devservice::ForwarderAnswer answer = ask(endpoint.offer);
        EXPECT_TRUE(answer.ok) << answer.error;
        if (!answer.ok)
            return false;
        lastId = answer.id;
        endpoint.wrapper->SetRemoteSdp(QString::fromStdString(answer.sdp));
        return waitUntil([&] { return endpoint.ready; });
    }

    ScopedEnv m_microphone { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=sine") };
    zovwebrtc::peer_connection_factory* m_factory = nullptr;
    devservice::MediaForwarder m_forwarder;
    long long lastId = 0;
};

TEST_F(PeerConnectionWrapperEngineTest, DeletingAConnectedWrapperRunsNoEventOfThisThread)
{
    Endpoint publisher(m_factory);
    publisher.wrapper->AddAudio(false);
    publisher.wrapper->CreateOffer(false, false);
    ASSERT_TRUE(connect(publisher, [&](const std::string& offer) { return m_forwarder.publish(offer); }));
    const long long stream = lastId;

    Endpoint player(m_factory);
    player.wrapper->CreateOffer(false, true);
    ASSERT_TRUE(connect(player, [&](const std::string& offer) { return m_forwarder.play(stream, offer); }));
    ASSERT_TRUE(waitUntil([&] { return m_forwarder.playerCount(stream) == 1; }));

    for (Endpoint* endpoint : { &player, &publisher }) {
        bool timerRan = false;
        bool eventRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        QMetaObject::invokeMethod(&endpoint->context, [&] { eventRan = true; }, Qt::QueuedConnection);
        delete endpoint->wrapper;
        endpoint->wrapper = nullptr;
        EXPECT_FALSE(timerRan) << "a timer ran inside the destructor";
        EXPECT_FALSE(eventRan) << "a posted event ran inside the destructor";
        QCoreApplication::processEvents();
        EXPECT_TRUE(timerRan && eventRan);
    }
    // The engine finishes closing on its own threads and lets go of both.
    EXPECT_TRUE(waitUntil([] { return PeerConnectionWrapper::closingConnections() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return !m_forwarder.holds(stream); }));
}

} // namespace
