// WebRTC on loopback. Glass to glass: pattern pictures (their number in the picture) pushed into the studio
// publisher at 1280x720, 30 fps, 1 Mbit/s, read back from the pictures a player of the engine receives
// through the service's forwarder; beside it the same pictures through VP8 encoder and decoder in one
// process. Forwarder CPU: the service as its own process, one publisher and 0, 1, 2, 4 or 8 players, its
// processor time over the run as a share of one core, and per player beyond the publisher alone. TAVICAST_BENCH_SECONDS sets each run's length
// (default 30 s for the CPU runs, 10 s for latency).
#include <zovwebrtc/publisher.h>
#include <zovwebrtc/zovwebrtc.h>

#include <devservice/mediaforwarder.h>

#include <capture/testpattern.h>
#include <korvex/zovnet.h>

#include "support/free_port.h"
#include "support/testpattern_reader.h"

#include <QByteArray>

#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
constexpr int kWidth = 1280;
constexpr int kHeight = 720;

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

int seconds(int fallback)
{
    const char* value = std::getenv("TAVICAST_BENCH_SECONDS");
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

struct Picture {
    std::vector<uint8_t> y, u, v;
};

// The pattern of `number` in I420 (BT.601, limited range).
Picture pattern(uint32_t number)
{
    std::vector<uint8_t> bgrx(size_t(kWidth) * kHeight * 4);
    capture::testpattern::drawBgrx(bgrx.data(), kWidth * 4, kWidth, kHeight, number);
    Picture out { std::vector<uint8_t>(size_t(kWidth) * kHeight), std::vector<uint8_t>(size_t(kWidth / 2) * (kHeight / 2)),
        std::vector<uint8_t>(size_t(kWidth / 2) * (kHeight / 2)) };
    for (int row = 0; row < kHeight; ++row) {
        for (int col = 0; col < kWidth; ++col) {
            const uint8_t* p = &bgrx[(size_t(row) * kWidth + col) * 4];
            out.y[size_t(row) * kWidth + col] = uint8_t(((66 * p[2] + 129 * p[1] + 25 * p[0] + 128) >> 8) + 16);
            if (row % 2 == 0 && col % 2 == 0) {
                out.u[size_t(row / 2) * (kWidth / 2) + col / 2]
                    = uint8_t(((-38 * p[2] - 74 * p[1] + 112 * p[0] + 128) >> 8) + 128);
                out.v[size_t(row / 2) * (kWidth / 2) + col / 2]
                    = uint8_t(((112 * p[2] - 94 * p[1] - 18 * p[0] + 128) >> 8) + 128);
            }
        }
    }
    return out;
}

// The number in an I420 picture, read at a quarter of its size.
std::optional<uint32_t> readNumber(const uint8_t* y, const uint8_t* u, const uint8_t* v, int strideY, int strideU,
    int strideV, int width, int height)
{
    const int w = width / 4;
    const int h = height / 4;
    std::vector<uint8_t> bgrx(size_t(w) * h * 4);
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const int c = y[row * 4 * strideY + col * 4] - 16;
            const int d = u[row * 2 * strideU + col * 2] - 128;
            const int e = v[row * 2 * strideV + col * 2] - 128;
            uint8_t* p = &bgrx[(size_t(row) * w + col) * 4];
            p[0] = uint8_t(std::clamp((298 * c + 516 * d + 128) >> 8, 0, 255));
            p[1] = uint8_t(std::clamp((298 * c - 100 * d - 208 * e + 128) >> 8, 0, 255));
            p[2] = uint8_t(std::clamp((298 * c + 409 * e + 128) >> 8, 0, 255));
        }
    }
    return testpattern_reader::readBgrx(bgrx.data(), w * 4, w, h);
}

// Glass-to-glass times of pictures by number.
class Latencies {
public:
    void sent(uint32_t number)
    {
        std::lock_guard lock(m_mutex);
        m_sent[number] = nowUs();
    }
    void seen(uint32_t number)
    {
        const int64_t now = nowUs();
        std::lock_guard lock(m_mutex);
        auto found = m_sent.find(number);
        if (found == m_sent.end())
            return;
        m_times.push_back(double(now - found->second) / 1000.0);
        m_sent.erase(found);
    }
    void report(benchmark::State& state)
    {
        std::lock_guard lock(m_mutex);
        if (m_times.empty()) {
            state.SkipWithError("no picture came back");
            return;
        }
        std::sort(m_times.begin(), m_times.end());
        state.counters["median_ms"] = m_times[m_times.size() / 2];
        state.counters["p95_ms"] = m_times[m_times.size() * 95 / 100];
        state.counters["pictures"] = double(m_times.size());
    }

private:
    std::mutex m_mutex;
    std::map<uint32_t, int64_t> m_sent;
    std::vector<double> m_times;
};

// Pictures pushed at 30 fps while `running`; the publisher is given each one.
template <typename Push> void pushPictures(std::atomic<bool>& running, Latencies& latencies, Push push)
{
    auto next = std::chrono::steady_clock::now();
    for (uint32_t number = 1; running; ++number) {
        const Picture picture = pattern(number);
        latencies.sent(number);
        push(picture);
        next += 33333us;
        std::this_thread::sleep_until(next);
    }
}

// A player of the engine, reporting the numbers it reads.
struct Player {
    explicit Player(zovwebrtc::peer_connection_factory* factory, Latencies* latencies)
        : latencies(latencies)
    {
        callbacks.user = this;
        callbacks.ice_gathering_complete = [](void* user) { static_cast<Player*>(user)->gathered = true; };
        callbacks.frame_copy = [](int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*,
                                   int sy, int su, int sv, int, int width, int height, void* user) {
            auto* self = static_cast<Player*>(user);
            ++self->frames;
            if (self->recordShown) {
                std::lock_guard lock(self->shownMutex);
                self->shown.push_back(nowUs());
            }
            if (!self->latencies)
                return;
            if (const auto number = readNumber(y, u, v, sy, su, sv, width, height))
                self->latencies->seen(*number);
        };
        zovwebrtc::rtc_configuration* configuration = zovwebrtc::create_rtc_configuration();
        configuration->set_single_transport(configuration->handle, 1);
        connection = factory->create_peer_connection(factory->handle, configuration, &callbacks);
        zovwebrtc::destroy_rtc_configuration(&configuration);
    }
    ~Player()
    {
        zovwebrtc::destroy_peer_connection(&connection);
        waitFor([&] { return connection.load() == nullptr; }, 10s);
    }
    std::string offer()
    {
        if (!connection.load())
            return {};
        connection.load()->create_offer(connection.load()->handle, true, false);
        if (!waitFor([&] { return gathered.load(); }, 15s))
            return {};
        const int length = connection.load()->get_local_description(connection.load()->handle, nullptr, 0);
        std::string text(size_t(length) + 1, '\0');
        connection.load()->get_local_description(connection.load()->handle, text.data(), int(text.size()));
        text.resize(size_t(length));
        return text;
    }
    void answer(const std::string& sdp)
    {
        connection.load()->set_remote_description(connection.load()->handle, "answer", sdp.c_str());
    }

    Latencies* latencies;
    zovwebrtc::peer_connection_callbacks callbacks {};
    std::atomic<zovwebrtc::peer_connection*> connection { nullptr };
    std::atomic<bool> gathered { false };
    std::atomic<int> frames { 0 };
    std::atomic<bool> recordShown { false };
    std::mutex shownMutex;
    std::vector<int64_t> shown; // when each picture was handed out, µs
};

std::unique_ptr<zovwebrtc::StreamPublisher> makePublisher(std::string& error)
{
    zovwebrtc::PublisherSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = 30;
    settings.bitrateKbps = 1000;
    settings.keyFrameInterval = 300;
    auto offered = std::make_shared<std::atomic<bool>>(false);
    zovwebrtc::PublisherCallbacks callbacks;
    callbacks.offerReady = [offered] { *offered = true; };
    auto publisher = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
    if (!publisher)
        return nullptr;
    publisher->createOffer();
    if (!waitFor([&] { return offered->load(); }, 15s)) {
        error = "the publisher made no offer";
        return nullptr;
    }
    return publisher;
}

void useLoopback()
{
    setenv("TAVICAST_ICE_ADDRESSES", "127.0.0.1", 0);
    setenv("GIO_USE_PROXY_RESOLVER", "dummy", 0);
}

void BM_GlassToGlassThroughForwarder(benchmark::State& state)
{
    useLoopback();
    for (auto _ : state) {
        devservice::MediaForwarder forwarder;
        std::string error;
        auto publisher = makePublisher(error);
        if (!publisher) {
            state.SkipWithError(error.c_str());
            return;
        }
        const devservice::ForwarderAnswer published = forwarder.publish(publisher->localDescription());
        if (!published.ok) {
            state.SkipWithError(published.error.c_str());
            return;
        }
        publisher->setAnswer(published.sdp);
        Latencies latencies;
        std::atomic<bool> running { true };
        std::thread pictures([&] {
            pushPictures(running, latencies, [&](const Picture& p) {
                publisher->pushI420(p.y.data(), p.u.data(), p.v.data(), kWidth, kWidth / 2, kWidth / 2, kWidth, kHeight);
            });
        });
        zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory();
        {
            Player player(factory, &latencies);
            const devservice::ForwarderAnswer played = forwarder.play(published.id, player.offer());
            if (played.ok)
                player.answer(played.sdp);
            std::this_thread::sleep_for(std::chrono::seconds(seconds(10)));
            running = false;
            pictures.join();
        }
        zovwebrtc::destroy_peer_connection_factory(&factory);
        latencies.report(state);
    }
}
BENCHMARK(BM_GlassToGlassThroughForwarder)->Iterations(1)->Unit(benchmark::kSecond);

// The yardstick: the same pictures through VP8 encoder and decoder in one pipeline.
void BM_GlassToGlassEncoderDecoderOnly(benchmark::State& state)
{
    gst_init(nullptr, nullptr);
    for (auto _ : state) {
        GstElement* pipeline = gst_parse_launch(
            "appsrc name=in is-live=true do-timestamp=true format=time"
            " caps=video/x-raw,format=I420,width=1280,height=720,framerate=30/1"
            " ! vp8enc deadline=1 cpu-used=8 error-resilient=1 target-bitrate=1000000 keyframe-max-dist=300"
            " ! vp8dec ! appsink name=out sync=false",
            nullptr);
        GstElement* in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
        GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
        Latencies latencies;
        GstAppSinkCallbacks callbacks {};
        callbacks.new_sample = [](GstAppSink* sink, gpointer data) {
            GstSample* sample = gst_app_sink_pull_sample(sink);
            GstVideoInfo info;
            GstVideoFrame frame;
            if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample))
                && gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
                const auto number = readNumber(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                    static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1)),
                    static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 2)),
                    GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1),
                    GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2), GST_VIDEO_FRAME_WIDTH(&frame),
                    GST_VIDEO_FRAME_HEIGHT(&frame));
                if (number)
                    static_cast<Latencies*>(data)->seen(*number);
                gst_video_frame_unmap(&frame);
            }
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(out), &callbacks, &latencies, nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        std::atomic<bool> running { true };
        std::thread pictures([&] {
            pushPictures(running, latencies, [&](const Picture& p) {
                const gsize size = p.y.size() + p.u.size() + p.v.size();
                GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
                gst_buffer_fill(buffer, 0, p.y.data(), p.y.size());
                gst_buffer_fill(buffer, p.y.size(), p.u.data(), p.u.size());
                gst_buffer_fill(buffer, p.y.size() + p.u.size(), p.v.data(), p.v.size());
                gst_app_src_push_buffer(GST_APP_SRC(in), buffer);
            });
        });
        std::this_thread::sleep_for(std::chrono::seconds(seconds(10)));
        running = false;
        pictures.join();
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(in);
        gst_object_unref(out);
        gst_object_unref(pipeline);
        latencies.report(state);
    }
}
BENCHMARK(BM_GlassToGlassEncoderDecoderOnly)->Iterations(1)->Unit(benchmark::kSecond);

// The service's processor time in clock ticks (user and system).
long long processTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15) {
            stime = std::atoll(field.c_str());
            break;
        }
    }
    return utime + stime;
}

std::string post(const std::string& base, long long streamId, const std::string& sdp)
{
    Json::Value body;
    body["stream_id"] = Json::Int64(streamId);
    body["type"] = 1;
    body["sdp"] = QByteArray::fromStdString(sdp).toBase64().toStdString();
    const auto response = Zov_Client::ZovNet(base).post("/zovpion/getRtcSdp", Json::FastWriter().write(body));
    return response.body;
}

// The service's share with the publisher alone, from the run without players; each player's share is what
// the service takes beyond it.
double publisherAloneShare = -1;

void BM_ForwarderCpu(benchmark::State& state)
{
    useLoopback();
    const int players = int(state.range(0));
    for (auto _ : state) {
        const quint16 port = closedLoopbackPort();
        const std::string portText = std::to_string(port);
        const char* argv[] = { DEVSERVICE_PROGRAM, "--http", "--port", portText.c_str(), nullptr };
        pid_t service = 0;
        if (posix_spawn(&service, DEVSERVICE_PROGRAM, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("the service does not start");
            return;
        }
        const std::string base = "http://127.0.0.1:" + portText;
        std::this_thread::sleep_for(1s);

        std::string error;
        auto publisher = makePublisher(error);
        Json::Value reply;
        Json::Reader().parse(post(base, 0, publisher ? publisher->localDescription() : std::string()), reply);
        const long long id = reply["result"]["id"].asInt64();
        if (!publisher || !id) {
            kill(service, SIGTERM);
            waitpid(service, nullptr, 0);
            state.SkipWithError("the publisher is not taken");
            return;
        }
        publisher->setAnswer(QByteArray::fromBase64(QByteArray::fromStdString(reply["result"]["sdp"].asString())).toStdString());
        Latencies unused;
        std::atomic<bool> running { true };
        std::thread pictures([&] {
            pushPictures(running, unused, [&](const Picture& p) {
                publisher->pushI420(p.y.data(), p.u.data(), p.v.data(), kWidth, kWidth / 2, kWidth / 2, kWidth, kHeight);
            });
        });
        zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory();
        std::vector<std::unique_ptr<Player>> watching;
        for (int i = 0; i < players; ++i) {
            auto player = std::make_unique<Player>(factory, nullptr);
            Json::Value played;
            Json::Reader().parse(post(base, id, player->offer()), played);
            player->answer(QByteArray::fromBase64(QByteArray::fromStdString(played["result"]["sdp"].asString())).toStdString());
            watching.push_back(std::move(player));
        }
        std::this_thread::sleep_for(3s); // connected and settled
        const long long ticks = processTicks(service);
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds(30)));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = double(processTicks(service) - ticks) / double(sysconf(_SC_CLK_TCK));
        int frames = 0;
        for (const auto& player : watching)
            frames += player->frames;
        watching.clear();
        running = false;
        pictures.join();
        zovwebrtc::destroy_peer_connection_factory(&factory);
        publisher.reset();
        kill(service, SIGTERM);
        waitpid(service, nullptr, 0);
        const double share = 100.0 * cpu / wall;
        state.counters["service_core_percent"] = share;
        if (players == 0)
            publisherAloneShare = share;
        else if (publisherAloneShare >= 0)
            state.counters["per_player_core_percent"] = (share - publisherAloneShare) / players;
        state.counters["player_frames"] = frames;
        if (players && frames == 0)
            state.SkipWithError("no player got a picture");
    }
}
BENCHMARK(BM_ForwarderCpu)->Arg(0)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond);

// Loss on the way to one player: 720p30 pictures through the forwarder, which drops the given share (percent)
// of the RTP packets it sends that player; lost packets come back by NACK and retransmission. Frames shown
// by the player (and per second), the longest time without a new one after the first, and the bitrate the
// publisher encoded. TAVICAST_BENCH_SECONDS sets the run's length (default 60 s).
void BM_LossThroughForwarder(benchmark::State& state)
{
    useLoopback();
    const double lossPercent = double(state.range(0));
    for (auto _ : state) {
        devservice::MediaForwarder::Options options;
        options.firstPlayerLoss = lossPercent / 100.0;
        devservice::MediaForwarder forwarder(options);
        std::string error;
        zovwebrtc::PublisherSettings settings;
        settings.width = kWidth;
        settings.height = kHeight;
        settings.fps = 30;
        settings.bitrateKbps = 1500;
        settings.keyFrameInterval = 300;
        auto offered = std::make_shared<std::atomic<bool>>(false);
        std::atomic<long long> encodedBytes { 0 };
        zovwebrtc::PublisherCallbacks callbacks;
        callbacks.offerReady = [offered] { *offered = true; };
        callbacks.encoded = [&](bool video, const uint8_t*, size_t size, int64_t, bool) {
            if (video)
                encodedBytes += (long long)size;
        };
        auto publisher = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
        if (!publisher || (publisher->createOffer(), !waitFor([&] { return offered->load(); }, 15s))) {
            state.SkipWithError(publisher ? "the publisher made no offer" : error.c_str());
            return;
        }
        const devservice::ForwarderAnswer published = forwarder.publish(publisher->localDescription());
        if (!published.ok) {
            state.SkipWithError(published.error.c_str());
            return;
        }
        publisher->setAnswer(published.sdp);
        Latencies unused;
        std::atomic<bool> running { true };
        std::thread pictures([&] {
            pushPictures(running, unused, [&](const Picture& p) {
                publisher->pushI420(p.y.data(), p.u.data(), p.v.data(), kWidth, kWidth / 2, kWidth / 2, kWidth, kHeight);
            });
        });
        zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory();
        const int length = seconds(60);
        {
            Player player(factory, nullptr);
            player.recordShown = true;
            const devservice::ForwarderAnswer played = forwarder.play(published.id, player.offer());
            if (!played.ok) {
                state.SkipWithError(played.error.c_str());
                running = false;
                pictures.join();
                return;
            }
            player.answer(played.sdp);
            waitFor([&] { return player.frames.load() > 0; }, 15s);
            const long long bytesBefore = encodedBytes;
            const int64_t start = nowUs();
            std::this_thread::sleep_for(std::chrono::seconds(length));
            const long long bytes = encodedBytes - bytesBefore;
            const double elapsed = double(nowUs() - start) / 1e6;
            running = false;
            pictures.join();
            std::lock_guard lock(player.shownMutex);
            std::vector<int64_t> during;
            for (int64_t time : player.shown)
                if (time >= start && time <= start + int64_t(elapsed * 1e6))
                    during.push_back(time);
            int64_t longest = 0;
            for (size_t i = 1; i < during.size(); ++i)
                longest = std::max(longest, during[i] - during[i - 1]);
            state.counters["frames_shown"] = double(during.size());
            state.counters["fps_shown"] = double(during.size()) / elapsed;
            state.counters["longest_freeze_ms"] = double(longest) / 1000.0;
            state.counters["kbps"] = double(bytes) * 8 / 1000 / elapsed;
        }
        zovwebrtc::destroy_peer_connection_factory(&factory);
    }
}
BENCHMARK(BM_LossThroughForwarder)->Arg(0)->Arg(2)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
