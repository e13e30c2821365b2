// The connection wrapper's copying frame callback at 1080p (a new frame and libyuv's I420Copy; the third
// source is unregistered so that its own copy stays out) beside a memcpy of the same picture bytes into a
// buffer allocated once.
#include "media/peerconnectionwrapper.h"

#include <studio/thirdsource.h>
#include <zovwebrtc/engine.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Keeps the callback record a connection was made with, so the benchmark can call it directly.
class RecordingEngine : public zovwebrtc::Engine {
public:
    class Idle : public zovwebrtc::Connection {
    public:
        void addAudioTrack(bool) override { }
        void addCameraTrack(const std::string&, int, int, int) override { }
        void createOffer(bool, bool) override { }
        void forward(int, int) override { }
        void setRemoteDescription(const std::string&, const std::string&) override { }
        std::string localDescription() override { return {}; }
        void close(std::function<void()> closed) override { closed(); }
    };

    std::shared_ptr<zovwebrtc::Connection> createConnection(
        const zovwebrtc::Configuration&, const zovwebrtc::peer_connection_callbacks& callbacks) override
    {
        std::lock_guard lock(mutex);
        this->callbacks = callbacks;
        made = true;
        changed.notify_all();
        return std::make_shared<Idle>();
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool made = false;
    zovwebrtc::peer_connection_callbacks callbacks {};
};

struct Picture {
    std::vector<uint8_t> y = std::vector<uint8_t>(size_t(kWidth) * kHeight, 90);
    std::vector<uint8_t> u = std::vector<uint8_t>(size_t(kWidth / 2) * (kHeight / 2), 120);
    std::vector<uint8_t> v = std::vector<uint8_t>(size_t(kWidth / 2) * (kHeight / 2), 160);
};

void BM_ConnectionCopyingCallback1080p(benchmark::State& state)
{
    int argc = 1;
    char name[] = "bench_connection";
    char* argv[] = { name, nullptr };
    QCoreApplication app(argc, argv);
    auto engine = std::make_shared<RecordingEngine>();
    zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory(engine);
    {
        PeerConnectionWrapper wrapper(QString(), QString(), factory);
        {
            std::unique_lock lock(engine->mutex);
            engine->changed.wait(lock, [&] { return engine->made; });
        }
        ThirdSource::UnregisterThirdSource(wrapper.sourceId().toUtf8().constData());
        const zovwebrtc::peer_connection_callbacks callbacks = engine->callbacks;
        Picture picture;
        for (auto _ : state) {
            callbacks.frame_copy(0, picture.y.data(), picture.u.data(), picture.v.data(), nullptr, kWidth,
                kWidth / 2, kWidth / 2, 0, kWidth, kHeight, callbacks.user);
        }
        state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kWidth * kHeight * 3 / 2));
    }
    zovwebrtc::destroy_peer_connection_factory(&factory);
}

void BM_MemcpyOfThePicture1080p(benchmark::State& state)
{
    Picture picture;
    std::vector<uint8_t> target(picture.y.size() + picture.u.size() + picture.v.size());
    for (auto _ : state) {
        std::memcpy(target.data(), picture.y.data(), picture.y.size());
        std::memcpy(target.data() + picture.y.size(), picture.u.data(), picture.u.size());
        std::memcpy(target.data() + picture.y.size() + picture.u.size(), picture.v.data(), picture.v.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(target.size()));
}

} // namespace

BENCHMARK(BM_ConnectionCopyingCallback1080p);
BENCHMARK(BM_MemcpyOfThePicture1080p);
