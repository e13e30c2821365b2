// The studio's push against the local service on 127.0.0.1 (HTTPS, its forwarder in-process) with the
// desktop on Xvfb: the screen's test pattern and a camera source reach a player through the forwarder;
// every way a push can fail to start ends in SignalStreamingStoped alone.
#include <studio/thirdsource.h>
#include <studio/zovmwidget.h>

#include <zovwebrtc/zovwebrtc.h>

#include <framekit/framekit.h>

#include <devservice/mediaforwarder.h>
#include <devservice/service.h>

#include "support/free_port.h"
#include "support/scoped_env.h"
#include "support/testpattern_reader.h"
#include "support/testpattern_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace {

using namespace zovwebrtc;

constexpr char kPath[] = "/test/getRtcSdp";

template <typename Predicate> bool waitUntil(Predicate done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

// A player through the engine's connection records: what it decoded, read as the test pattern, and the
// luma of the picture's bottom-right corner.
class Player {
public:
    explicit Player(peer_connection_factory* factory)
    {
        callbacks.user = this;
        callbacks.ice_gathering_complete = [](void* user) { static_cast<Player*>(user)->gathered = true; };
        callbacks.state_changed = [](int state, void* user) {
            auto* self = static_cast<Player*>(user);
            std::lock_guard lock(self->mutex);
            self->states.push_back(state);
        };
        callbacks.frame_copy
            = [](int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*, int strideY,
                  int strideU, int strideV, int, int width, int height, void* user) {
                  auto* self = static_cast<Player*>(user);
                  QImage picture(width, height, QImage::Format_RGB32);
                  for (int row = 0; row < height; ++row) {
                      auto* line = reinterpret_cast<QRgb*>(picture.scanLine(row));
                      for (int col = 0; col < width; ++col) {
                          const int c = y[row * strideY + col] - 16;
                          const int d = u[(row / 2) * strideU + col / 2] - 128;
                          const int e = v[(row / 2) * strideV + col / 2] - 128;
                          line[col] = qRgb(std::clamp((298 * c + 409 * e + 128) >> 8, 0, 255),
                              std::clamp((298 * c - 100 * d - 208 * e + 128) >> 8, 0, 255),
                              std::clamp((298 * c + 516 * d + 128) >> 8, 0, 255));
                      }
                  }
                  const auto number = testpattern_reader::readBgrx(
                      picture.constBits(), int(picture.bytesPerLine()), width, height, 40);
                  std::lock_guard lock(self->mutex);
                  self->size = QSize(width, height);
                  self->corner = y[(height - 10) * strideY + width - 10];
                  if (number)
                      self->numbers.push_back(*number);
              };
        rtc_configuration* configuration = create_rtc_configuration();
        configuration->set_single_transport(configuration->handle, 1);
        configuration->set_host_candidates_only(configuration->handle, 1);
        connection = factory->create_peer_connection(factory->handle, configuration, &callbacks);
        destroy_rtc_configuration(&configuration);
    }
    ~Player()
    {
        if (connection.load())
            destroy_peer_connection(&connection);
        waitUntil([&] { return connection.load() == nullptr; }, 10000);
    }

    bool play(devservice::MediaForwarder& forwarder, long long id)
    {
        peer_connection* call = connection.load();
        call->create_offer(call->handle, true, false);
        if (!waitUntil([&] { return gathered.load(); }, 10000))
            return false;
        const int length = call->get_local_description(call->handle, nullptr, 0);
        std::string offer(size_t(std::max(length, 0)) + 1, '\0');
        call->get_local_description(call->handle, offer.data(), int(offer.size()));
        offer.resize(size_t(std::max(length, 0)));
        const devservice::ForwarderAnswer answer = forwarder.play(id, offer);
        if (!answer.ok)
            return false;
        call->set_remote_description(call->handle, "answer", answer.sdp.c_str());
        return waitUntil([&] { return reached(kStateConnected); }, 15000);
    }

    bool reached(int state)
    {
        std::lock_guard lock(mutex);
        return std::find(states.begin(), states.end(), state) != states.end();
    }

    peer_connection_callbacks callbacks {};
    std::atomic<peer_connection*> connection { nullptr };
    std::atomic<bool> gathered { false };
    std::mutex mutex;
    std::vector<int> states;
    std::vector<uint32_t> numbers;
    QSize size;
    int corner = -1;
};

class StudioPush : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
        std::string error;
        ASSERT_TRUE(service.start(&error)) << error;
        caFile.emplace("TAVICAST_CA_FILE", service.caFile());
        studio = std::make_unique<ZovMWidget>();
        studio->Initialize(folder.filePath("Basic.ini"));
        studio->SetRateControl(EncodeRateControl_Constant);
        studio->SetVideoBitRate(1500);
        studio->ResetVideoSize(640, 400);
        studio->SetFps(30);
        studio->SetVideoKeyFrameSec(1);
        studio->SetEncoder(VideoEncoder_Hardware);
        studio->DisableBFrame();
        studio->ResetOutputs();
        studio->InitializePreview();
        studio->AddDesktopAudio();
        studio->AddMicrophoneSource();
        started = std::make_unique<QSignalSpy>(studio.get(), &ZovMWidget::SignalStreamingStarted);
        stopped = std::make_unique<QSignalSpy>(studio.get(), &ZovMWidget::SignalStreamingStoped);
    }
    void TearDown() override
    {
        studio.reset();
        service.stop();
    }

    std::string url(const char* scheme = "webrtcs") const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(service.port()) + kPath
            + "?meetting_key=k&main=1";
    }

    std::vector<devservice::RecordedRequest> sdpRequests() const
    {
        std::vector<devservice::RecordedRequest> found;
        for (const auto& request : service.requests())
            if (request.path == kPath)
                found.push_back(request);
        return found;
    }

    QTemporaryDir folder;
    devservice::Service service;
    std::optional<ScopedEnv> caFile;
    ScopedEnv desktopSound { "TAVICAST_DESKTOP_AUDIO_SOURCE",
        std::string("audiotestsrc is-live=true wave=sine") };
    ScopedEnv microphone { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    std::unique_ptr<ZovMWidget> studio;
    std::unique_ptr<QSignalSpy> started;
    std::unique_ptr<QSignalSpy> stopped;
};

TEST_F(StudioPush, PatternAndCameraReachAPlayerThroughTheForwarder)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    TestPatternWindow pattern;
    pattern.setWindowFlags(Qt::FramelessWindowHint);
    pattern.setNumber(2468);
    pattern.setGeometry(QRect(QPoint(0, 0), screen));
    pattern.show();
    ASSERT_NE(studio->AddDesktopCapture(), nullptr);

    // A white camera picture at the canvas's bottom-right corner.
    const char* camera = "studiopush-camera";
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(camera));
    std::vector<uint8_t> y(96 * 60, 235), u(48 * 30, 128), v(48 * 30, 128);
    ASSERT_TRUE(ThirdSource::SourceAsncFrame(camera, y.data(), u.data(), v.data(), 96, 48, 48, 96, 60));
    ASSERT_NE(studio->AddThirdSource(QString::fromUtf8(camera), QPoint(640 - 96, 400 - 60)), nullptr);

    studio->StartStreaming(url().c_str(), "push-token", "", "");
    EXPECT_TRUE(studio->isStreaming());
    ASSERT_TRUE(waitUntil([&] { return started->count() > 0 || stopped->count() > 0; }, 20000));
    ASSERT_EQ(started->count(), 1);
    EXPECT_EQ(stopped->count(), 0);
    EXPECT_TRUE(studio->isStreamingStarted());
    devservice::MediaForwarder* forwarder = service.forwarder();
    ASSERT_NE(forwarder, nullptr);
    const long long id = forwarder->mainStream("k");
    EXPECT_NE(id, 0);
    EXPECT_EQ(studio->GetWebrtcRoomID(), id);
    const auto requests = sdpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().header("authorization"), "Bearer push-token");
    EXPECT_TRUE(requests.front().secure);
    EXPECT_EQ(requests.front().members["stream_id"].asInt(), 0);
    EXPECT_EQ(requests.front().members["type"].asInt(), 1);

    {
        auto factory = create_peer_connection_factory();
        ASSERT_NE(factory, nullptr);
        {
            Player player(factory);
            ASSERT_TRUE(player.play(*forwarder, id));
            EXPECT_TRUE(waitUntil(
                [&] {
                    std::lock_guard lock(player.mutex);
                    return player.numbers.size() >= 10;
                },
                20000))
                << "the pattern never arrived";
            {
                std::lock_guard lock(player.mutex);
                EXPECT_EQ(player.size, QSize(640, 400));
                EXPECT_GT(player.corner, 200) << "no camera picture at the bottom-right";
                ASSERT_FALSE(player.numbers.empty());
                EXPECT_EQ(player.numbers.back(), 2468u);
            }
            EXPECT_EQ(started->count(), 1);

            studio->StopStreaming();
            EXPECT_EQ(stopped->count(), 1);
            EXPECT_FALSE(studio->isStreaming());
            EXPECT_EQ(studio->GetWebrtcRoomID(), 0);
            EXPECT_TRUE(waitUntil([&] { return player.reached(kStateLost); }, 20000))
                << "the player stayed connected";
            EXPECT_TRUE(waitUntil([&] { return !forwarder->holds(id); }, 20000));
        }
        destroy_peer_connection_factory(&factory);
    }
    // No late signal.
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(started->count(), 1);
    EXPECT_EQ(stopped->count(), 1);
    ThirdSource::UnregisterThirdSource(camera);
}

TEST_F(StudioPush, NoTokenNoAuthorizationHeader)
{
    studio->StartStreaming(url().c_str(), "", "", "");
    ASSERT_TRUE(waitUntil([&] { return started->count() > 0 || stopped->count() > 0; }, 20000));
    EXPECT_EQ(started->count(), 1);
    const auto requests = sdpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().header("authorization"), "");
    studio->StopStreaming();
    EXPECT_EQ(stopped->count(), 1);
}

struct FailureCase {
    const char* name;
    std::function<std::string(StudioPush&)> prepare; // the push address
};

TEST_F(StudioPush, FailuresEndInStoppedOnly)
{
    using devservice::ScriptedReply;
    auto scripted = [](ScriptedReply reply) {
        return [reply](StudioPush& t) {
            t.service.script(kPath, reply);
            return t.url();
        };
    };
    Json::Value noSdp(Json::objectValue);
    noSdp["id"] = 5;
    Json::Value badBase64(Json::objectValue);
    badBase64["sdp"] = "@@not base64@@";
    badBase64["id"] = 5;
    Json::Value noId(Json::objectValue);
    noId["sdp"] = "dj0w";
    ScriptedReply late = ScriptedReply::success(noSdp);
    late.delayMs = 4000;
    ScriptedReply httpError = ScriptedReply::success();
    httpError.status = 500;
    const std::vector<FailureCase> cases = {
        { "another scheme",
            [](StudioPush& t) { return "rtmp://127.0.0.1:" + std::to_string(t.service.port()) + kPath; } },
        { "plain http",
            [](StudioPush& t) { return "https://127.0.0.1:" + std::to_string(t.service.port()) + kPath; } },
        { "refused",
            [](StudioPush&) {
                return "webrtc://127.0.0.1:" + std::to_string(closedLoopbackPort()) + kPath;
            } },
        { "HTTP error", scripted(httpError) },
        { "service error code", scripted(ScriptedReply::failure(40001, "no such meeting")) },
        { "no sdp", scripted(ScriptedReply::success(noSdp)) },
        { "no id", scripted(ScriptedReply::success(noId)) },
        { "bad base64", scripted(ScriptedReply::success(badBase64)) },
        { "answer that is no SDP",
            [](StudioPush& t) {
                Json::Value garbage(Json::objectValue);
                garbage["sdp"] = "bm90IGFuIFNEUA=="; // "not an SDP"
                garbage["id"] = 9;
                t.service.script(kPath, ScriptedReply::success(garbage));
                return t.url();
            } },
        { "never connected",
            [late](StudioPush& t) {
                t.studio->setConnectTimeoutMs(1500);
                t.service.script(kPath, late);
                return t.url();
            } },
        { "untrusted certificate",
            [](StudioPush& t) {
                t.caFile.reset();
                t.caFile.emplace("TAVICAST_CA_FILE", std::nullopt);
                return t.url();
            } },
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        started->clear();
        stopped->clear();
        const std::string address = c.prepare(*this);
        studio->StartStreaming(address.c_str(), "t", "", "");
        EXPECT_TRUE(waitUntil([&] { return stopped->count() > 0; }, 15000));
        waitUntil([] { return false; }, 300); // nothing follows
        EXPECT_EQ(stopped->count(), 1);
        EXPECT_EQ(started->count(), 0);
        EXPECT_FALSE(studio->isStreaming());
        EXPECT_EQ(studio->GetWebrtcRoomID(), 0);
        studio->setConnectTimeoutMs(10000);
        caFile.reset();
        caFile.emplace("TAVICAST_CA_FILE", service.caFile());
    }
}

// The service drops the stream without a word: the silence of its RTCP reports ends the push.
TEST_F(StudioPush, LostPushEndsInStopped)
{
    studio->StartStreaming(url().c_str(), "t", "", "");
    ASSERT_TRUE(waitUntil([&] { return started->count() > 0 || stopped->count() > 0; }, 20000));
    ASSERT_EQ(started->count(), 1);
    service.forwarder()->close(studio->GetWebrtcRoomID());
    EXPECT_TRUE(waitUntil([&] { return stopped->count() > 0; }, 60000));
    EXPECT_EQ(stopped->count(), 1);
    EXPECT_FALSE(studio->isStreaming());
}

TEST_F(StudioPush, StopWhileStartingEndsInStopped)
{
    Json::Value noSdp(Json::objectValue);
    devservice::ScriptedReply late = devservice::ScriptedReply::success(noSdp);
    late.delayMs = 3000;
    service.script(kPath, late);
    studio->StartStreaming(url().c_str(), "t", "", "");
    waitUntil([] { return false; }, 300);
    studio->StopStreaming();
    EXPECT_EQ(stopped->count(), 1);
    studio->StopStreaming(); // nothing more to stop
    waitUntil([] { return false; }, 3500);
    EXPECT_EQ(stopped->count(), 1);
    EXPECT_EQ(started->count(), 0);
}

// A machine with no sound server: a sound source that cannot be opened leaves silence in its place with one
// line in the log, the push starts all the same, and sound switched off opens no source at all (a source in
// the pipeline that cannot open would keep it from starting).
TEST_F(StudioPush, NoSoundServerStillPushes)
{
    struct Log {
        std::mutex mutex;
        std::vector<std::string> lines;
    } log;
    fk_log_set_handler(
        [](int, const char* format, va_list args, void* param) {
            char text[1024];
            vsnprintf(text, sizeof text, format, args);
            auto* log = static_cast<Log*>(param);
            std::lock_guard lock(log->mutex);
            if (std::strstr(text, "cannot be opened"))
                log->lines.push_back(text);
        },
        &log);
    ScopedEnv noServer { "PULSE_SERVER", std::string("unix:/nonexistent/tavicast-no-sound-server") };
    struct Case {
        const char* name;
        bool desktopMuted;
        bool microphoneMuted;
        std::optional<std::string> microphoneSource; // unset: the default input
        std::vector<const char*> unopened; // the sources reported, in order
    };
    const Case cases[] = {
        { "sound on", false, false, std::nullopt, { "desktop sound", "microphone" } },
        { "microphone only, the desktop sound missing", false, false,
            std::string("audiotestsrc is-live=true wave=sine"), { "desktop sound" } },
        { "sound off", true, true, std::nullopt, {} },
        { "sound off with a source that can never open", true, true,
            std::string("filesrc location=/nonexistent/tavicast-sound"), {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv desktop { "TAVICAST_DESKTOP_AUDIO_SOURCE", std::nullopt };
        ScopedEnv input { "TAVICAST_AUDIO_SOURCE", c.microphoneSource };
        {
            std::lock_guard lock(log.mutex);
            log.lines.clear();
        }
        started->clear();
        stopped->clear();
        studio->MuteDesktopAudio(c.desktopMuted);
        studio->MuteMicrophone(c.microphoneMuted);
        studio->StartStreaming(url().c_str(), "t", "", "");
        EXPECT_TRUE(waitUntil([&] { return started->count() > 0 || stopped->count() > 0; }, 20000));
        EXPECT_EQ(started->count(), 1);
        EXPECT_EQ(stopped->count(), 0);
        EXPECT_TRUE(studio->isStreamingStarted());
        studio->StopStreaming();
        QThread::msleep(200); // the log is written on its own thread
        std::lock_guard lock(log.mutex);
        ASSERT_EQ(log.lines.size(), c.unopened.size());
        for (size_t i = 0; i < c.unopened.size(); ++i)
            EXPECT_NE(log.lines[i].find(c.unopened[i]), std::string::npos) << log.lines[i];
    }
    fk_log_set_handler(nullptr, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
