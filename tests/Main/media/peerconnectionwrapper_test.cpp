// The connection wrapper over the scripted engine: the shared thread, readiness, the frame copy, the
// description, calls without a connection, and the destructor's hand-over to the library.
#include "media/peerconnectionwrapper.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <studio/thirdsource.h>
#include <zovwebrtc/scriptedengine.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>

namespace {

using zovwebrtc::CloseMode;
using zovwebrtc::ConnectionScript;
using zovwebrtc::ScriptedEngine;
using zovwebrtc::ScriptStep;

// Processes this thread's events until the condition holds; false after the deadline.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::yieldCurrentThread();
    }
    return true;
}

// Runs once every slot queued on the wrapper before it has run.
void drain(PeerConnectionWrapper* wrapper)
{
    QMetaObject::invokeMethod(
        wrapper, [] {}, Qt::BlockingQueuedConnection);
}

class FrameCollector : public RemoteVideoObserver {
public:
    void onRemoteFrame(const char* sourceId, const I420FramePtr& frame) override
    {
        std::lock_guard lock(mutex);
        ids.push_back(sourceId);
        frames.push_back(frame);
    }
    std::vector<I420FramePtr> received()
    {
        std::lock_guard lock(mutex);
        return frames;
    }

    std::mutex mutex;
    std::vector<std::string> ids;
    std::vector<I420FramePtr> frames;
};

// Signals of one wrapper, received queued on the test thread.
struct Signals {
    explicit Signals(PeerConnectionWrapper* wrapper)
    {
        QObject::connect(wrapper, &PeerConnectionWrapper::StreamReady, &context,
            [this](QString id, bool audio, bool video) {
                ready.push_back({ id, audio, video });
            });
        QObject::connect(wrapper, &PeerConnectionWrapper::Disconnected, &context, [this] { ++disconnected; });
        QObject::connect(wrapper, &PeerConnectionWrapper::IceGatheringCompleted, &context,
            [this](QString id, QString sdp) {
                descriptions.push_back({ id, sdp });
            });
    }
    struct Ready {
        QString id;
        bool audio, video;
    };
    QObject context;
    std::vector<Ready> ready;
    int disconnected = 0;
    std::vector<std::pair<QString, QString>> descriptions;
};

class PeerConnectionWrapperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        zovwebrtc::setDefaultEngine(m_engine);
        m_factory = zovwebrtc::create_peer_connection_factory(nullptr);
    }
    void TearDown() override
    {
        for (PeerConnectionWrapper* wrapper : m_wrappers)
            delete wrapper;
        zovwebrtc::destroy_peer_connection_factory(&m_factory);
        zovwebrtc::setDefaultEngine(nullptr);
        capture::setCatalog({});
    }

    // A wrapper whose connection (number m_wrappers.size() of the engine) has been made.
    PeerConnectionWrapper* makeWrapper(ConnectionScript script = {})
    {
        const int index = static_cast<int>(m_wrappers.size());
        m_engine->expectConnection(std::move(script));
        auto* wrapper = new PeerConnectionWrapper(QString(), QString(), m_factory);
        m_wrappers.push_back(wrapper);
        EXPECT_TRUE(m_engine->waitForConnections(index + 1));
        drain(wrapper);
        return wrapper;
    }
    void destroy(PeerConnectionWrapper* wrapper)
    {
        m_wrappers.erase(std::remove(m_wrappers.begin(), m_wrappers.end(), wrapper), m_wrappers.end());
        delete wrapper;
    }
    // Plays the steps on the wrapper's connection and waits for them and for the signals they queued.
    void play(int connection, std::vector<ScriptStep> steps)
    {
        ASSERT_TRUE(m_engine->play(connection, std::move(steps)));
        ASSERT_TRUE(m_engine->waitIdle(connection));
        QCoreApplication::processEvents();
    }

    std::shared_ptr<ScriptedEngine> m_engine = std::make_shared<ScriptedEngine>();
    zovwebrtc::peer_connection_factory* m_factory = nullptr;
    std::vector<PeerConnectionWrapper*> m_wrappers;
};

TEST_F(PeerConnectionWrapperTest, WrappersShareOneNamedThreadThatEndsAfterTheLast)
{
    PeerConnectionWrapper* first = makeWrapper();
    PeerConnectionWrapper* second = makeWrapper();
    QPointer<QThread> shared = first->thread();
    ASSERT_TRUE(shared);
    EXPECT_EQ(second->thread(), shared.data());
    EXPECT_NE(shared.data(), QThread::currentThread());
    EXPECT_EQ(shared->objectName(), "PeerConnectionWrapper Thread");
    EXPECT_NE(first->sourceId(), second->sourceId());

    // Slots run there: the connections were made and the offers made from one thread, not this one.
    first->CreateOffer(true, true);
    second->CreateOffer(false, true);
    ASSERT_TRUE(m_engine->waitForCalls("createOffer", 2));
    std::thread::id sharedId;
    QMetaObject::invokeMethod(
        first, [&] { sharedId = std::this_thread::get_id(); }, Qt::BlockingQueuedConnection);
    for (const char* name : { "createConnection", "createOffer" }) {
        for (const zovwebrtc::EngineCall& call : m_engine->calls(name))
            EXPECT_EQ(call.thread, sharedId) << name;
    }

    destroy(first);
    ASSERT_TRUE(shared);
    EXPECT_TRUE(shared->isRunning());
    destroy(second);
    EXPECT_FALSE(shared) << "the thread is deleted after the last wrapper";

    PeerConnectionWrapper* third = makeWrapper();
    EXPECT_TRUE(third->thread()->isRunning());
    EXPECT_EQ(third->thread()->objectName(), "PeerConnectionWrapper Thread");
}

TEST_F(PeerConnectionWrapperTest, LastWrapperDeletedOnTheSharedThreadStillEndsIt)
{
    PeerConnectionWrapper* wrapper = makeWrapper();
    m_wrappers.clear();
    // Watched as plain objects: the wrapper is destroyed on its own thread, and a typed guard read here
    // meanwhile would cast an object that is no longer a wrapper.
    QPointer<QObject> alive = wrapper;
    QPointer<QObject> shared = wrapper->thread();
    wrapper->deleteLater(); // runs the destructor there
    EXPECT_TRUE(waitUntil([&] { return !alive && !shared; }));
    EXPECT_TRUE(waitUntil([&] { return m_engine->closed(0); }));
}

TEST_F(PeerConnectionWrapperTest, AudioOnlyConnectionIsReadyOnEveryConnectedState)
{
    PeerConnectionWrapper* wrapper = makeWrapper();
    Signals seen(wrapper);
    wrapper->CreateOffer(false, true);
    drain(wrapper);
    play(0,
        { ScriptStep::state(zovwebrtc::kStateConnected), ScriptStep::state(zovwebrtc::kStateConnecting),
            ScriptStep::state(zovwebrtc::kStateConnected) });
    ASSERT_TRUE(waitUntil([&] { return seen.ready.size() >= 2; }));
    for (const Signals::Ready& ready : seen.ready) {
        EXPECT_EQ(ready.id, wrapper->sourceId());
        EXPECT_TRUE(ready.audio);
        EXPECT_FALSE(ready.video);
    }
    play(0, { ScriptStep::state(zovwebrtc::kStateLost) });
    ASSERT_TRUE(waitUntil([&] { return seen.disconnected == 1; }));
    EXPECT_EQ(seen.ready.size(), 2u);
}

TEST_F(PeerConnectionWrapperTest, VideoConnectionIsReadyOnceOnItsFirstPicture)
{
    struct Row {
        const char* name;
        ScriptStep first;
    } rows[] = {
        { "copying", ScriptStep::frame(64, 48) },
        { "plane forwarding", ScriptStep::planeFrame(64, 48) },
        { "eight racing threads", ScriptStep::racingFrames(64, 48, 8) },
    };
    int connection = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PeerConnectionWrapper* wrapper = makeWrapper();
        Signals seen(wrapper);
        wrapper->CreateOffer(true, false);
        drain(wrapper);
        EXPECT_TRUE(wrapper->hasVideo());
        play(connection, { ScriptStep::state(zovwebrtc::kStateConnected) });
        EXPECT_TRUE(seen.ready.empty()) << "state 0 waits for a picture when video is wanted";
        play(connection,
            { row.first, ScriptStep::frame(64, 48), ScriptStep::state(zovwebrtc::kStateConnected) });
        ASSERT_TRUE(waitUntil([&] { return !seen.ready.empty(); }));
        QCoreApplication::processEvents();
        ASSERT_EQ(seen.ready.size(), 1u);
        EXPECT_FALSE(seen.ready[0].audio);
        EXPECT_TRUE(seen.ready[0].video);
        ++connection;
    }
}

TEST_F(PeerConnectionWrapperTest, PicturesWithoutWidthOrHeightAreIgnoredEntirely)
{
    PeerConnectionWrapper* wrapper = makeWrapper();
    FrameCollector collector;
    wrapper->observer = &collector;
    Signals seen(wrapper);
    wrapper->CreateOffer(true, true);
    drain(wrapper);
    play(0,
        { ScriptStep::frame(0, 48), ScriptStep::frame(64, 0), ScriptStep::planeFrame(0, 48),
            ScriptStep::planeFrame(64, 0) });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.ready.empty());
    EXPECT_EQ(wrapper->frameWidth(), 0);
    EXPECT_EQ(wrapper->frameHeight(), 0);
    EXPECT_TRUE(collector.received().empty());
    EXPECT_EQ(ThirdSource::frameCount(wrapper->sourceId().toUtf8().constData()), 0u);
}

// Each plane of the picture holds the test pattern in its first columns and rows.
void expectPattern(
    const uint8_t* plane, int stride, int columns, int rows, uint8_t (*pattern)(int, int), const char* name)
{
    int wrong = 0;
    for (int row = 0; row < rows; ++row) {
        for (int x = 0; x < columns; ++x)
            wrong += plane[static_cast<size_t>(row) * stride + x] != pattern(x, row);
    }
    EXPECT_EQ(wrong, 0) << name;
}

TEST_F(PeerConnectionWrapperTest, CopiesKeepWholeGroupsOfEightColumnsOrTheTopLeftSquare)
{
    struct Row {
        const char* name;
        ScriptStep frame;
        bool square;
        int sourceWidth, sourceHeight; // what the third source gets
    } rows[] = {
        { "tight", ScriptStep::frame(1366, 768), false, 1360, 768 },
        { "wide strides", ScriptStep::frame(1366, 768, 1500, 777, 800), false, 1360, 768 },
        { "square crop", ScriptStep::frame(1366, 768, 1400, 700, 720), true, 768, 768 },
        { "odd height, tall", ScriptStep::frame(203, 301), true, 200, 200 },
    };
    int connection = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PeerConnectionWrapper* wrapper = makeWrapper();
        FrameCollector collector;
        wrapper->observer = &collector;
        wrapper->squareCrop = row.square;
        wrapper->CreateOffer(true, true);
        drain(wrapper);
        play(connection++, { row.frame });
        EXPECT_EQ(wrapper->frameWidth(), row.frame.width);
        EXPECT_EQ(wrapper->frameHeight(), row.frame.height);

        // The observer gets the whole copy.
        const auto frames = collector.received();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(collector.ids[0], wrapper->sourceId().toStdString());
        const I420Frame& copy = *frames[0];
        const int width = row.frame.width & ~7, height = row.frame.height;
        ASSERT_EQ(copy.width, static_cast<uint32_t>(width));
        ASSERT_EQ(copy.height, static_cast<uint32_t>(height));
        EXPECT_EQ(copy.strideY(), static_cast<uint32_t>(width));
        EXPECT_EQ(copy.strideU(), static_cast<uint32_t>(width / 2));
        expectPattern(copy.dataY(), width, width, height, ScriptedEngine::patternY, "Y");
        expectPattern(copy.dataU(), width / 2, width / 2, (height + 1) / 2, ScriptedEngine::patternU, "U");
        expectPattern(copy.dataV(), width / 2, width / 2, (height + 1) / 2, ScriptedEngine::patternV, "V");

        // The third source gets the copy or its top-left square.
        const auto picture = ThirdSource::latestPicture(wrapper->sourceId().toUtf8().constData());
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->width, row.sourceWidth);
        ASSERT_EQ(picture->height, row.sourceHeight);
        const int chromaWidth = picture->strideUV(), chromaRows = (picture->height + 1) / 2;
        expectPattern(picture->y.data(), picture->strideY(), picture->width, picture->height,
            ScriptedEngine::patternY, "source Y");
        expectPattern(
            picture->u.data(), chromaWidth, chromaWidth, chromaRows, ScriptedEngine::patternU, "source U");
        expectPattern(
            picture->v.data(), chromaWidth, chromaWidth, chromaRows, ScriptedEngine::patternV, "source V");
    }
}

TEST_F(PeerConnectionWrapperTest, PlaneForwardingHandsTheWholePictureToTheSourceOnly)
{
    PeerConnectionWrapper* wrapper = makeWrapper();
    FrameCollector collector;
    wrapper->observer = &collector;
    play(0, { ScriptStep::planeFrame(1366, 768) });
    EXPECT_TRUE(collector.received().empty());
    const auto picture = ThirdSource::latestPicture(wrapper->sourceId().toUtf8().constData());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 1366);
    expectPattern(picture->y.data(), picture->strideY(), 1366, 768, ScriptedEngine::patternY, "Y");
}

TEST_F(PeerConnectionWrapperTest, OperationsReachTheConnectionOnTheSharedThread)
{
    capture::setCatalog([](const GUID& category) {
        std::vector<capture::DeviceEntry> entries;
        if (category == CLSID_VideoInputDeviceCategory)
            entries.push_back(
                capture::syntheticCameraEntry(L"Front", capture::defaultSyntheticCapabilities()));
        return entries;
    });
    PeerConnectionWrapper* wrapper = makeWrapper();
    wrapper->AddAudio(false);
    wrapper->AddCamera();
    wrapper->CreateOffer(true, false);
    wrapper->SetRemoteSdp(QString::fromUtf8("v=0\r\ns=直播\r\n"));
    drain(wrapper);

    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        { "createConnection", { "singleTransport", "hostCandidatesOnly" } },
        { "addAudioTrack", { "false" } },
        { "addCameraTrack", { "synthetic/Front", "640", "480", "30" } },
        { "createOffer", { "true", "false" } },
        { "setRemoteDescription", { "answer", "v=0\r\ns=直播\r\n" } },
    };
    const auto calls = m_engine->calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, expected[i].first);
        EXPECT_EQ(calls[i].arguments, expected[i].second);
        EXPECT_EQ(calls[i].thread, calls[0].thread);
    }

    // No camera: no camera track.
    capture::setCatalog([](const GUID&) { return std::vector<capture::DeviceEntry>(); });
    wrapper->AddCamera();
    drain(wrapper);
    EXPECT_EQ(m_engine->calls("addCameraTrack").size(), 1u);
}

TEST_F(PeerConnectionWrapperTest, WithoutConnectionNothingReachesTheLibrary)
{
    ConnectionScript refused;
    refused.refuse = true;
    PeerConnectionWrapper* refusedWrapper = makeWrapper(refused);
    auto* noFactory = new PeerConnectionWrapper(QString(), QString(), nullptr);
    m_wrappers.push_back(noFactory);
    for (PeerConnectionWrapper* wrapper : { refusedWrapper, noFactory }) {
        wrapper->AddAudio(true);
        wrapper->AddCamera();
        wrapper->CreateOffer(true, false);
        wrapper->SetRemoteSdp("v=0");
        drain(wrapper);
        EXPECT_TRUE(wrapper->hasVideo()) << "the flags are kept all the same";
    }
    const auto calls = m_engine->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "createConnection");
}

TEST_F(PeerConnectionWrapperTest, ForwardingReachesWordEightOnceTheConnectionIsStored)
{
    ConnectionScript early;
    early.duringCreate = { ScriptStep::forward(1, 2) }; // before factory word 1 has returned
    makeWrapper(early);
    play(0, { ScriptStep::forward(3, 4) });
    const auto forwarded = m_engine->calls("forward");
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].arguments, (std::vector<std::string> { "3", "4" }));
}

TEST_F(PeerConnectionWrapperTest, LocalDescriptionArrivesWhole)
{
    std::string large;
    while (large.size() < 30 * 1024)
        large += "a=candidate:1 1 UDP 2122252543 127.0.0.1 " + std::to_string(large.size())
            + " typ host 直播\r\n";
    struct Row {
        const char* name;
        std::string description;
        bool sent;
    } rows[] = {
        { "short", "v=0\r\n", true },
        { "one byte short of the buffer", std::string(10239, 'x'), true },
        { "exactly the buffer", std::string(10240, 'y'), true },
        { "30 KB", large, true },
        { "empty", "", true },
        { "over 1 MiB", std::string((1 << 20) + 1, 'z'), false },
    };
    int connection = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ConnectionScript script;
        script.localDescription = row.description;
        PeerConnectionWrapper* wrapper = makeWrapper(script);
        Signals seen(wrapper);
        play(connection++, { ScriptStep::iceComplete() });
        if (!row.sent) {
            QCoreApplication::processEvents();
            EXPECT_TRUE(seen.descriptions.empty());
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !seen.descriptions.empty(); }));
        EXPECT_EQ(seen.descriptions[0].first, wrapper->sourceId());
        EXPECT_EQ(seen.descriptions[0].second.toUtf8().toStdString(), row.description);
    }
}

// Destruction.

std::mutex g_messagesMutex;
std::vector<QString> g_messages;

void collectMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg) {
        std::lock_guard lock(g_messagesMutex);
        g_messages.push_back(text);
    }
}

std::vector<QString> criticalMessages()
{
    std::lock_guard lock(g_messagesMutex);
    return g_messages;
}

// Deleting hands the connection to the library and returns at once: this thread's events do not run
// inside, the wrapper hears nothing afterwards, and the library's late clear frees what it kept.
TEST_F(PeerConnectionWrapperTest, DestructorHandsTheConnectionOverWithoutRunningEvents)
{
    struct Row {
        const char* name;
        CloseMode mode;
        bool released;
    } rows[] = {
        { "cleared later from the library's thread", CloseMode::Later, true },
        { "cleared before the destructor returns", CloseMode::Immediately, true },
        { "never cleared", CloseMode::Never, false },
    };
    qInstallMessageHandler(collectMessage);
    int connection = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ConnectionScript script;
        script.close = row.mode;
        PeerConnectionWrapper* wrapper = makeWrapper(script);
        const std::string id = wrapper->sourceId().toStdString();
        FrameCollector collector;
        wrapper->observer = &collector;
        Signals seen(wrapper);
        // A late clear waits until the test lets it go, so the destructor cannot be waiting for it.
        std::atomic<bool> letGo { row.mode != CloseMode::Later };
        m_engine->setCloseHook([&](int) {
            for (int waited = 0; !letGo && waited < 10000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        wrapper->CreateOffer(true, true);
        drain(wrapper);
        // The library goes on calling back while it closes: these come once the delete has begun.
        ASSERT_TRUE(m_engine->play(connection,
            { ScriptStep::pause(200), ScriptStep::frame(64, 48), ScriptStep::state(zovwebrtc::kStateLost),
                ScriptStep::iceComplete(), ScriptStep::forward(5, 6) }));
        bool timerRan = false;
        QTimer::singleShot(0, [&] { timerRan = true; });
        destroy(wrapper);

        EXPECT_FALSE(timerRan) << "a timer of this thread ran inside the destructor";
        EXPECT_FALSE(ThirdSource::isRegistered(id.c_str()));
        EXPECT_EQ(m_engine->calls("close").size(), static_cast<size_t>(connection + 1));
        if (row.mode == CloseMode::Later) {
            EXPECT_FALSE(m_engine->closed(connection));
            EXPECT_GE(PeerConnectionWrapper::closingConnections(), 1);
        }
        letGo = true;
        if (row.released) {
            EXPECT_TRUE(waitUntil([&] { return m_engine->closed(connection); }));
            EXPECT_TRUE(waitUntil([] { return PeerConnectionWrapper::closingConnections() == 0; }));
        } else {
            EXPECT_TRUE(m_engine->waitIdle(connection));
            EXPECT_EQ(PeerConnectionWrapper::closingConnections(), 1);
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(collector.received().empty());
        EXPECT_TRUE(m_engine->calls("forward").empty());
        EXPECT_EQ(ThirdSource::frameCount(id.c_str()), 0u);
        EXPECT_TRUE(seen.ready.empty());
        EXPECT_EQ(seen.disconnected, 0);
        EXPECT_TRUE(seen.descriptions.empty());
        m_engine->setCloseHook(nullptr);
        ++connection;
    }
    // A connection the library keeps past the limit is logged once, by the next wrapper's coming or going.
    EXPECT_TRUE(criticalMessages().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(PeerConnectionWrapper::kCloseTimeoutMs + 100));
    destroy(makeWrapper());
    destroy(makeWrapper());
    const auto messages = criticalMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains("was not released"));
    qInstallMessageHandler(nullptr);
}

} // namespace
