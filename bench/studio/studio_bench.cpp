// The studio's composition of a 1280x720 canvas (a 1920x1080 desktop scaled, a 320x180 camera, one image)
// beside the bare libyuv calls it makes; and the CPU a 720p30 encoding (composition, VP8, Opus) takes.
#include <studio/studioscene.h>
#include <studio/thirdsource.h>

#include <zovwebrtc/publisher.h>

#include <benchmark/benchmark.h>

#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>

#include <sys/resource.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr char kCamera[] = "bench-camera";

DesktopPicture desktop1080p()
{
    DesktopPicture picture;
    picture.width = 1920;
    picture.height = 1080;
    picture.stride = 1920 * 4;
    picture.bgra.resize(size_t(picture.stride) * picture.height);
    for (size_t i = 0; i < picture.bgra.size(); ++i)
        picture.bgra[i] = uint8_t(i * 7 / 5);
    return picture;
}

StudioFrame frame(int width, int height, uint8_t luma)
{
    StudioFrame f;
    f.resize(width, height);
    std::fill(f.y.begin(), f.y.end(), luma);
    std::fill(f.u.begin(), f.u.end(), uint8_t(90));
    std::fill(f.v.begin(), f.v.end(), uint8_t(170));
    return f;
}

void feedCamera()
{
    static bool registered = ThirdSource::RegisterThirdSource(kCamera);
    (void)registered;
    const StudioFrame camera = frame(320, 180, 200);
    ThirdSource::SourceAsncFrame(kCamera, camera.y.data(), camera.u.data(), camera.v.data(), camera.strideY(),
        camera.strideUV(), camera.strideUV(), 320, 180);
}

void buildScene(StudioScene& scene)
{
    scene.setCanvasSize(QSize(1280, 720));
    scene.addDesktop(QRect());
    QImage logo(200, 100, QImage::Format_RGB32);
    logo.fill(Qt::darkCyan);
    scene.addImage(logo, "logo", QPoint(40, 40));
    scene.addThird(kCamera, QPoint(1280 - 320, 720 - 180));
}

void BM_ComposeScene(benchmark::State& state)
{
    feedCamera();
    StudioScene scene;
    buildScene(scene);
    const DesktopPicture desktop = desktop1080p();
    StudioFrame canvas;
    for (auto _ : state) {
        scene.compose(canvas, &desktop);
        benchmark::DoNotOptimize(canvas.y.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComposeScene)->Unit(benchmark::kMillisecond);

// The same work as libyuv calls alone: black canvas, the desktop to I420 and scaled into it, two copies.
void BM_BareLibyuvCalls(benchmark::State& state)
{
    const DesktopPicture desktop = desktop1080p();
    StudioFrame canvas = frame(1280, 720, 16);
    StudioFrame scratch = frame(1920, 1080, 16);
    const StudioFrame camera = frame(320, 180, 200);
    const StudioFrame logo = frame(200, 100, 120);
    auto copy = [&](const StudioFrame& from, int x, int y) {
        const size_t chroma = size_t(y / 2) * canvas.strideUV() + x / 2;
        libyuv::I420Copy(from.y.data(), from.strideY(), from.u.data(), from.strideUV(), from.v.data(),
            from.strideUV(), canvas.y.data() + size_t(y) * canvas.strideY() + x, canvas.strideY(),
            canvas.u.data() + chroma, canvas.strideUV(), canvas.v.data() + chroma, canvas.strideUV(), from.width,
            from.height);
    };
    for (auto _ : state) {
        canvas.fillBlack();
        libyuv::ARGBToI420(desktop.bgra.data(), desktop.stride, scratch.y.data(), scratch.strideY(), scratch.u.data(),
            scratch.strideUV(), scratch.v.data(), scratch.strideUV(), 1920, 1080);
        libyuv::I420Scale(scratch.y.data(), scratch.strideY(), scratch.u.data(), scratch.strideUV(), scratch.v.data(),
            scratch.strideUV(), 1920, 1080, canvas.y.data(), canvas.strideY(), canvas.u.data(), canvas.strideUV(),
            canvas.v.data(), canvas.strideUV(), 1280, 720, libyuv::kFilterBilinear);
        copy(logo, 40, 40);
        copy(camera, 1280 - 320, 720 - 180);
        benchmark::DoNotOptimize(canvas.y.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareLibyuvCalls)->Unit(benchmark::kMillisecond);

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Five seconds of the push's own work at 720p30: composing at 30 fps into the encoder (VP8 at 1000 kbit/s,
// Opus from a live tone). "cpu_percent" is the process's CPU time over wall time, all threads.
void BM_Push720p30Cpu(benchmark::State& state)
{
    feedCamera();
    StudioScene scene;
    buildScene(scene);
    const DesktopPicture desktop = desktop1080p();
    zovwebrtc::PublisherSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.fps = 30;
    settings.bitrateKbps = 1000;
    settings.rateControl = zovwebrtc::PublisherSettings::RateControl::Constant;
    settings.keyFrameInterval = 90;
    settings.audioSource = "audiotestsrc is-live=true wave=sine";
    std::atomic<long> encodedVideo { 0 };
    zovwebrtc::PublisherCallbacks callbacks;
    callbacks.encoded = [&](bool video, const uint8_t*, size_t, int64_t, bool) {
        if (video)
            ++encodedVideo;
    };
    std::string error;
    auto encoder = zovwebrtc::StreamPublisher::create(settings, callbacks, &error);
    if (!encoder) {
        state.SkipWithError(error.c_str());
        return;
    }
    StudioFrame canvas;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        for (int i = 0; i < 150; ++i) {
            scene.compose(canvas, &desktop);
            encoder->pushI420(canvas.y.data(), canvas.u.data(), canvas.v.data(), canvas.strideY(), canvas.strideUV(),
                canvas.strideUV(), canvas.width, canvas.height);
            next += std::chrono::microseconds(33333);
            std::this_thread::sleep_until(next);
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += cpuSeconds() - cpuStart;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["encoded_fps"] = double(encodedVideo.load()) / wall;
}
BENCHMARK(BM_Push720p30Cpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
