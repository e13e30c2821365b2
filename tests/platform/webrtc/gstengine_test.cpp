// The GStreamer engine behind the records, against the local service's forwarder on loopback: the synthetic
// camera's pattern and a tone published, played back as I420 pictures and audio.
#include <zovwebrtc/gstengine.h>
#include <zovwebrtc/publisher.h>
#include <zovwebrtc/zovwebrtc.h>

#include <devservice/mediaforwarder.h>

#include <capture/syntheticcamera.h>
#include <capture/testpattern.h>

#include "support/scoped_env.h"
#include "support/testpattern_reader.h"

#include <QTemporaryDir>

#include <glib.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

namespace {

using namespace zovwebrtc;
using namespace std::chrono_literals;

template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The threads of this process.
size_t threadCount()
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// The thread count once it has not changed for half a second (at most 10 s).
size_t settledThreadCount()
{
    size_t count = threadCount();
    int unchanged = 0;
    for (int polls = 0; unchanged < 5 && polls < 100; ++polls) {
        std::this_thread::sleep_for(100ms);
        const size_t now = threadCount();
        unchanged = now == count ? unchanged + 1 : 0;
        count = now;
    }
    return count;
}

// I420 to B, G, R, X (BT.601, limited range), for the pattern reader.
std::vector<uint8_t> toBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int strideY, int strideU,
    int strideV, int width, int height)
{
    std::vector<uint8_t> out(size_t(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const int c = y[row * strideY + col] - 16;
            const int d = u[(row / 2) * strideU + col / 2] - 128;
            const int e = v[(row / 2) * strideV + col / 2] - 128;
            uint8_t* p = &out[(size_t(row) * width + col) * 4];
            p[0] = uint8_t(std::clamp((298 * c + 516 * d + 128) >> 8, 0, 255));
            p[1] = uint8_t(std::clamp((298 * c - 100 * d - 208 * e + 128) >> 8, 0, 255));
            p[2] = uint8_t(std::clamp((298 * c + 409 * e + 128) >> 8, 0, 255));
            p[3] = 255;
        }
    }
    return out;
}

// One connection made through the records, with what its callbacks reported.
class Peer {
public:
    explicit Peer(peer_connection_factory* factory, bool singleTransport = true)
    {
        callbacks.user = this;
        callbacks.ice_gathering_complete = [](void* user) {
            auto* self = static_cast<Peer*>(user);
            // Word 10 may be called from here.
            char probe[1];
            self->descriptionLength = self->call()->get_local_description(self->call()->handle, probe, 1);
            self->gathered = true;
        };
        callbacks.state_changed = [](int state, void* user) {
            auto* self = static_cast<Peer*>(user);
            std::lock_guard lock(self->mutex);
            self->states.push_back(state);
        };
        callbacks.frame_copy = [](int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*,
                                   int strideY, int strideU, int strideV, int, int width, int height, void* user) {
            auto* self = static_cast<Peer*>(user);
            const auto bgrx = toBgrx(y, u, v, strideY, strideU, strideV, width, height);
            const auto number = testpattern_reader::readBgrx(bgrx.data(), width * 4, width, height, self->tolerance);
            std::lock_guard lock(self->mutex);
            if (number)
                self->numbers.push_back(*number);
            else
                ++self->unreadable;
        };
        rtc_configuration* configuration = create_rtc_configuration();
        configuration->set_single_transport(configuration->handle, singleTransport ? 1 : 0);
        configuration->set_host_candidates_only(configuration->handle, 1);
        connection = factory->create_peer_connection(factory->handle, configuration, &callbacks);
        destroy_rtc_configuration(&configuration);
    }
    ~Peer() { close(); }

    peer_connection* call() { return connection.load(); }

    void close()
    {
        if (!connection.load())
            return;
        destroy_peer_connection(&connection);
        EXPECT_TRUE(waitFor([&] { return connection.load() == nullptr; }, 10s));
    }

    std::string offer(bool video, bool audio)
    {
        call()->create_offer(call()->handle, video, audio);
        if (!waitFor([&] { return gathered.load(); }, 10s))
            return {};
        const int length = call()->get_local_description(call()->handle, nullptr, 0);
        std::string text(size_t(std::max(length, 0)) + 1, '\0');
        call()->get_local_description(call()->handle, text.data(), int(text.size()));
        text.resize(size_t(std::max(length, 0)));
        return text;
    }

    bool reached(int state)
    {
        std::lock_guard lock(mutex);
        return std::find(states.begin(), states.end(), state) != states.end();
    }

    std::vector<uint32_t> frameNumbers()
    {
        std::lock_guard lock(mutex);
        return numbers;
    }

    peer_connection_callbacks callbacks {};
    std::atomic<peer_connection*> connection { nullptr };
    std::atomic<bool> gathered { false };
    std::atomic<int> descriptionLength { -1 };
    std::mutex mutex;
    std::vector<int> states;
    std::vector<uint32_t> numbers;
    int unreadable = 0;
    int tolerance = 12; // of the quadrant colours
};

class GstEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        audioFile = folder.filePath("played.raw").toStdString();
        audioSink.emplace("TAVICAST_AUDIO_SINK", "filesink location=" + audioFile);
        factory = create_peer_connection_factory();
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override
    {
        destroy_peer_connection_factory(&factory);
        setMediaSilenceTimeout(5s);
    }

    std::string cameraId()
    {
        char name[256];
        char id[1024];
        for (unsigned i = 0; i < list_device_num(); ++i) {
            if (get_device_name(i, name, sizeof name, id, sizeof id) && std::string(name) == "Pattern")
                return id;
        }
        return {};
    }

    // Publishes the camera and a tone; the stream's id.
    long long publish(Peer& publisher, bool video = true)
    {
        publisher.call()->add_audio_track(publisher.call()->handle, false);
        if (video)
            publisher.call()->add_camera_track(publisher.call()->handle, cameraId().c_str(), 640, 480, 30);
        const std::string offer = publisher.offer(false, false);
        EXPECT_FALSE(offer.empty());
        const devservice::ForwarderAnswer answer = forwarder.publish(offer);
        EXPECT_TRUE(answer.ok) << answer.error;
        publisher.call()->set_remote_description(publisher.call()->handle, "answer", answer.sdp.c_str());
        EXPECT_TRUE(waitFor([&] { return publisher.reached(kStateConnected); }, 15s));
        return answer.id;
    }

    bool play(Peer& player, long long id, bool video, bool audio)
    {
        const std::string offer = player.offer(video, audio);
        const devservice::ForwarderAnswer answer = forwarder.play(id, offer);
        EXPECT_TRUE(answer.ok) << answer.error;
        if (!answer.ok)
            return false;
        player.call()->set_remote_description(player.call()->handle, "answer", answer.sdp.c_str());
        return waitFor([&] { return player.reached(kStateConnected); }, 15s);
    }

    size_t audioBytes()
    {
        std::ifstream file(audioFile, std::ios::binary | std::ios::ate);
        return file ? size_t(file.tellg()) : 0;
    }

    QTemporaryDir folder;
    std::string audioFile;
    ScopedEnv camera { capture::kSyntheticCameraVariable, std::string("Pattern") };
    ScopedEnv audioSource { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=sine") };
    std::optional<ScopedEnv> audioSink;
    devservice::MediaForwarder forwarder;
    peer_connection_factory* factory = nullptr;
};

TEST_F(GstEngineTest, PublishedPatternAndToneArePlayedBack)
{
    Peer publisher(factory);
    ASSERT_NE(publisher.call(), nullptr);
    ASSERT_FALSE(cameraId().empty());
    publisher.call()->add_audio_track(publisher.call()->handle, false);
    publisher.call()->add_camera_track(publisher.call()->handle, cameraId().c_str(), 640, 480, 30);
    const std::string offer = publisher.offer(false, false);
    EXPECT_GT(publisher.descriptionLength.load(), 0);
    EXPECT_NE(offer.find("VP8/90000"), std::string::npos) << offer;
    EXPECT_NE(offer.find("OPUS/48000"), std::string::npos) << offer;
    EXPECT_NE(offer.find("a=fingerprint:sha-256"), std::string::npos) << offer;
    const std::regex candidate("a=candidate:\\S+ \\d+ (\\S+) \\d+ (\\S+) ");
    int candidates = 0;
    for (auto it = std::sregex_iterator(offer.begin(), offer.end(), candidate); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ((*it)[1].str(), "UDP") << offer;
        EXPECT_EQ((*it)[2].str(), "127.0.0.1") << offer;
        ++candidates;
    }
    EXPECT_GT(candidates, 0) << offer;

    const devservice::ForwarderAnswer answer = forwarder.publish(offer);
    ASSERT_TRUE(answer.ok) << answer.error;
    publisher.call()->set_remote_description(publisher.call()->handle, "answer", answer.sdp.c_str());
    ASSERT_TRUE(waitFor([&] { return publisher.reached(kStateConnected); }, 15s));
    EXPECT_TRUE(publisher.reached(kStateConnecting));

    Peer player(factory);
    ASSERT_TRUE(play(player, answer.id, true, true));
    ASSERT_TRUE(waitFor([&] { return player.frameNumbers().size() >= 30; }, 20s))
        << player.frameNumbers().size() << " readable, " << player.unreadable << " not";
    const std::vector<uint32_t> numbers = player.frameNumbers();
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_GT(numbers.back(), numbers.front());
    EXPECT_TRUE(waitFor([&] { return audioBytes() > 48000; }, 10s)) << audioBytes();
}

// A player of audio alone and one of both connect; when the publisher goes, both report the loss within 10 s
// (5 s without media after media flowed).
TEST_F(GstEngineTest, PlayersReportLossWhenThePublisherGoes)
{
    Peer publisher(factory, false);
    const long long id = publish(publisher);
    // Each player's media must have flowed before the publisher goes; the played audio is one file for the
    // process, so the listener's is awaited before the viewer (which plays audio too) starts.
    Peer listener(factory, false);
    ASSERT_TRUE(play(listener, id, false, true));
    ASSERT_TRUE(waitFor([&] { return audioBytes() > 0; }, 20s));
    Peer viewer(factory);
    ASSERT_TRUE(play(viewer, id, true, true));
    ASSERT_TRUE(waitFor([&] { return !viewer.frameNumbers().empty(); }, 20s));
    EXPECT_FALSE(listener.reached(kStateLost));
    EXPECT_FALSE(viewer.reached(kStateLost));
    publisher.close();
    EXPECT_TRUE(waitFor([&] { return listener.reached(kStateLost) && viewer.reached(kStateLost); }, 10s));
}

// Audio sent with echo cancellation (the played stream of another connection as the far end) still arrives,
// also after that played stream has ended.
TEST_F(GstEngineTest, EchoCancelledAudioIsSent)
{
    Peer farPublisher(factory, false);
    const long long farId = publish(farPublisher, false);
    Peer farPlayer(factory, false);
    ASSERT_TRUE(play(farPlayer, farId, false, true));
    ASSERT_TRUE(waitFor([&] { return audioBytes() > 0; }, 10s));

    Peer publisher(factory, false);
    publisher.call()->add_audio_track(publisher.call()->handle, true);
    const devservice::ForwarderAnswer answer = forwarder.publish(publisher.offer(false, false));
    ASSERT_TRUE(answer.ok) << answer.error;
    publisher.call()->set_remote_description(publisher.call()->handle, "answer", answer.sdp.c_str());
    ASSERT_TRUE(waitFor([&] { return publisher.reached(kStateConnected); }, 15s));
    Peer player(factory, false);
    ASSERT_TRUE(play(player, answer.id, false, true));
    farPlayer.close();
    const size_t before = audioBytes();
    EXPECT_TRUE(waitFor([&] { return audioBytes() > before + 48000; }, 10s)) << audioBytes() - before;
}

// A camera that offers MJPEG only is decoded before it is encoded again (coded twice, the colours stray
// further).
TEST_F(GstEngineTest, MjpegCameraIsPublished)
{
    capture::setCatalog([](const GUID& category) {
        std::vector<capture::DeviceEntry> entries;
        if (category == CLSID_VideoInputDeviceCategory)
            entries.push_back(capture::syntheticCameraEntry(L"Pattern",
                { { MEDIASUBTYPE_MJPG, 640, 480, capture::kInterval30Fps, capture::kInterval30Fps } }));
        return entries;
    });
    Peer publisher(factory);
    const long long id = publish(publisher);
    Peer player(factory);
    player.tolerance = 48;
    ASSERT_TRUE(play(player, id, true, false));
    EXPECT_TRUE(waitFor([&] { return player.frameNumbers().size() >= 10; }, 20s)) << player.unreadable;
    capture::setCatalog(nullptr);
}

// Connections closed at any point, the factory gone first, and many made in turn: each closes and nothing is
// left running.
TEST_F(GstEngineTest, ConnectionsCloseAtAnyPoint)
{
    {
        Peer gathering(factory);
        gathering.call()->add_audio_track(gathering.call()->handle, false);
        gathering.call()->create_offer(gathering.call()->handle, true, true);
        gathering.close();
    }
    {
        Peer orphan(factory);
        destroy_peer_connection_factory(&factory);
        orphan.offer(true, false);
        orphan.close();
        factory = create_peer_connection_factory();
    }
    // Counted with no factory and GLib's pooled threads let go as soon as they idle: every thread the engine
    // and its pipelines start must be gone again once the factory is.
    g_thread_pool_set_max_unused_threads(0);
    destroy_peer_connection_factory(&factory);
    const size_t before = settledThreadCount();
    factory = create_peer_connection_factory();
    for (int i = 0; i < 20; ++i) {
        Peer peer(factory);
        ASSERT_NE(peer.call(), nullptr);
        if (i % 2)
            peer.call()->add_audio_track(peer.call()->handle, false);
        if (i % 3 == 0) {
            EXPECT_FALSE(peer.offer(true, i % 2 == 1).empty());
        }
        peer.close();
    }
    destroy_peer_connection_factory(&factory);
    EXPECT_TRUE(waitFor([&] { return threadCount() <= before; }, 10s)) << threadCount() << " threads, " << before
                                                                        << " before";
    g_thread_pool_set_max_unused_threads(2);
    factory = create_peer_connection_factory();
}

} // namespace

namespace {

// B, G, R, X to I420 (BT.601, limited range), one picture.
struct I420 {
    std::vector<uint8_t> y, u, v;
};
I420 patternPicture(int width, int height, uint32_t number)
{
    std::vector<uint8_t> bgrx(size_t(width) * height * 4);
    capture::testpattern::drawBgrx(bgrx.data(), width * 4, width, height, number);
    I420 out { std::vector<uint8_t>(size_t(width) * height), std::vector<uint8_t>(size_t(width / 2) * (height / 2)),
        std::vector<uint8_t>(size_t(width / 2) * (height / 2)) };
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const uint8_t* p = &bgrx[(size_t(row) * width + col) * 4];
            out.y[size_t(row) * width + col] = uint8_t(((66 * p[2] + 129 * p[1] + 25 * p[0] + 128) >> 8) + 16);
            if (row % 2 == 0 && col % 2 == 0) {
                out.u[size_t(row / 2) * (width / 2) + col / 2]
                    = uint8_t(((-38 * p[2] - 74 * p[1] + 112 * p[0] + 128) >> 8) + 128);
                out.v[size_t(row / 2) * (width / 2) + col / 2]
                    = uint8_t(((112 * p[2] - 94 * p[1] - 18 * p[0] + 128) >> 8) + 128);
            }
        }
    }
    return out;
}

TEST_F(GstEngineTest, StudioPublisherSendsPicturesAndHandsThemOutEncoded)
{
    zovwebrtc::PublisherSettings bad;
    bad.width = 0;
    std::string error;
    EXPECT_EQ(zovwebrtc::StreamPublisher::create(bad, {}, &error), nullptr);
    EXPECT_FALSE(error.empty());

    zovwebrtc::PublisherSettings settings;
    settings.width = 320;
    settings.height = 240;
    settings.bitrateKbps = 800;
    settings.keyFrameInterval = 15;
    settings.audioSource = "audiotestsrc is-live=true";
    std::atomic<bool> offered { false };
    std::atomic<int> connected { 0 };
    std::atomic<int> keyFrames { 0 };
    std::atomic<int> audioPackets { 0 };
    zovwebrtc::PublisherCallbacks callbacks;
    callbacks.offerReady = [&] { offered = true; };
    callbacks.stateChanged = [&](int state) {
        if (state == kStateConnected)
            ++connected;
    };
    callbacks.encoded = [&](bool video, const uint8_t*, size_t size, int64_t, bool key) {
        if (video && key && size > 0)
            ++keyFrames;
        if (!video && size > 0)
            ++audioPackets;
    };
    auto publisher = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
    ASSERT_NE(publisher, nullptr) << error;
    const I420 wrongSize = patternPicture(160, 120, 0);
    EXPECT_FALSE(publisher->pushI420(wrongSize.y.data(), wrongSize.u.data(), wrongSize.v.data(), 160, 80, 80, 160, 120));

    publisher->createOffer();
    ASSERT_TRUE(waitFor([&] { return offered.load(); }, 10s));
    const devservice::ForwarderAnswer answer = forwarder.publish(publisher->localDescription());
    ASSERT_TRUE(answer.ok) << answer.error;
    ASSERT_TRUE(publisher->setAnswer(answer.sdp));

    std::atomic<bool> running { true };
    std::thread pictures([&] {
        for (uint32_t number = 1; running; ++number) {
            const I420 picture = patternPicture(320, 240, number);
            publisher->pushI420(picture.y.data(), picture.u.data(), picture.v.data(), 320, 160, 160, 320, 240);
            std::this_thread::sleep_for(33ms);
        }
    });
    Peer player(factory);
    EXPECT_TRUE(play(player, answer.id, true, false));
    EXPECT_TRUE(waitFor([&] { return player.frameNumbers().size() >= 20; }, 20s)) << player.unreadable;
    running = false;
    pictures.join();
    const std::vector<uint32_t> numbers = player.frameNumbers();
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(connected.load(), 1);
    EXPECT_GE(keyFrames.load(), 2);
    EXPECT_GT(audioPackets.load(), 0);
}

// The pattern numbers read from VP8 frames of that size, decoded here.
std::vector<uint32_t> decodedNumbers(const std::vector<std::vector<uint8_t>>& frames, int width, int height)
{
    const std::string description = "appsrc name=in format=time caps=\"video/x-vp8,width=" + std::to_string(width)
        + ",height=" + std::to_string(height) + ",framerate=30/1\" ! vp8dec ! videoconvert"
          " ! video/x-raw,format=BGRx ! appsink name=out sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline)
        return {};
    GstElement* in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstClockTime time = 0;
    for (const auto& frame : frames) {
        GstBuffer* buffer = gst_buffer_new_memdup(frame.data(), frame.size());
        GST_BUFFER_PTS(buffer) = time;
        time += GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(in), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(in));
    std::vector<uint32_t> numbers;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 10 * GST_SECOND)) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        int seenWidth = 0;
        int seenHeight = 0;
        gst_structure_get_int(caps, "width", &seenWidth);
        gst_structure_get_int(caps, "height", &seenHeight);
        if (seenWidth == width && seenHeight == height && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const int stride = int(map.size / size_t(height));
            if (auto number = testpattern_reader::readBgrx(map.data, stride, width, height))
                numbers.push_back(*number);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(in);
    gst_object_unref(out);
    gst_object_unref(pipeline);
    return numbers;
}

// Every size the studio's settings offer, and one whose rows GStreamer pads (chroma of 321 bytes): the
// pictures pushed in tightly packed rows come out of the encoder whole, pattern and all.
TEST(StudioPublisherSizes, EveryOfferedSizeEncodesThePicturesPushed)
{
    for (const auto& [width, height] :
        std::vector<std::pair<int, int>> { { 1280, 720 }, { 960, 540 }, { 720, 1280 }, { 540, 960 }, { 642, 362 } }) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        zovwebrtc::PublisherSettings settings;
        settings.width = width;
        settings.height = height;
        settings.keyFrameInterval = 5;
        settings.bitrateKbps = 8000;
        std::mutex mutex;
        std::vector<std::vector<uint8_t>> frames;
        zovwebrtc::PublisherCallbacks callbacks;
        callbacks.encoded = [&](bool video, const uint8_t* data, size_t size, int64_t, bool key) {
            std::lock_guard lock(mutex);
            if (video && (key || !frames.empty()))
                frames.emplace_back(data, data + size);
        };
        std::string error;
        auto publisher = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
        ASSERT_NE(publisher, nullptr) << error;
        for (uint32_t number = 1; number <= 8; ++number) {
            const I420 picture = patternPicture(width, height, number);
            EXPECT_TRUE(publisher->pushI420(picture.y.data(), picture.u.data(), picture.v.data(), width, width / 2,
                width / 2, width, height));
            std::this_thread::sleep_for(40ms);
        }
        EXPECT_TRUE(waitFor(
            [&] {
                std::lock_guard lock(mutex);
                return frames.size() >= 3;
            },
            10s));
        publisher.reset();
        const std::vector<uint32_t> numbers = decodedNumbers(frames, width, height);
        EXPECT_GE(numbers.size(), 3u) << frames.size() << " frames encoded";
        EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    }
}

// Cameras of a size whose rows GStreamer pads deliver tightly packed pictures; each format reaches a player
// whole.
TEST_F(GstEngineTest, OddSizedCamerasArePublishedWhole)
{
    for (const GUID& subtype : { MEDIASUBTYPE_NV12, MEDIASUBTYPE_I420 }) {
        SCOPED_TRACE(subtype == MEDIASUBTYPE_NV12 ? "NV12" : "I420");
        capture::setCatalog([subtype](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category == CLSID_VideoInputDeviceCategory)
                entries.push_back(capture::syntheticCameraEntry(
                    L"Pattern", { { subtype, 642, 362, capture::kInterval30Fps, capture::kInterval30Fps } }));
            return entries;
        });
        Peer publisher(factory);
        const long long id = publish(publisher);
        Peer player(factory);
        ASSERT_TRUE(play(player, id, true, false));
        EXPECT_TRUE(waitFor([&] { return player.frameNumbers().size() >= 10; }, 20s)) << player.unreadable;
        player.close();
        publisher.close();
        capture::setCatalog(nullptr);
    }
}

// Pictures pushed far faster than the encoder takes them (1080p, no pause): only the latest few wait, so
// memory stays flat and the picture encoded next is never more than a few behind the one pushed.
TEST(StudioPublisherQueue, AStarvedEncoderKeepsTheLatestPicturesOnly)
{
    zovwebrtc::PublisherSettings settings;
    settings.width = 1920;
    settings.height = 1080;
    std::atomic<int> encoded { 0 };
    zovwebrtc::PublisherCallbacks callbacks;
    callbacks.encoded = [&](bool video, const uint8_t*, size_t, int64_t, bool) {
        if (video)
            ++encoded;
    };
    std::string error;
    auto publisher = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
    ASSERT_NE(publisher, nullptr) << error;
    const I420 picture = patternPicture(settings.width, settings.height, 7);
    size_t mostQueued = 0;
    for (int i = 0; i < 150; ++i) {
        EXPECT_TRUE(publisher->pushI420(picture.y.data(), picture.u.data(), picture.v.data(), settings.width,
            settings.width / 2, settings.width / 2, settings.width, settings.height));
        mostQueued = std::max(mostQueued, publisher->queuedPictures());
    }
    EXPECT_LE(mostQueued, 2u);
    EXPECT_TRUE(waitFor([&] { return encoded.load() > 0 && publisher->queuedPictures() == 0; }, 10s));
    EXPECT_LT(encoded.load(), 150) << "the encoder was not starved: nothing shows the bound";
}

} // namespace
