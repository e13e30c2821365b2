// Camera path figures. Goals: the wrapper's conversion step within 1.1x of bare libyuv ARGBToI420 into a
// preallocated buffer; MJPEG 1080p through CameraDecoder on one thread at 40 frames per second or more.
#include "Main/media/camera/codedsamples.h"

#include "media/cameradecoder.h"
#include "media/camerawrapper.h"
#include "media/videoscaler.h"

#include <capture/testpattern.h>
#include <studio/thirdsource.h>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <memory>
#include <random>

namespace {

// The test pattern with some noise, so that coders and scalers see more than flat areas.
std::vector<uint8_t> cameraPicture(int width, int height)
{
    std::vector<uint8_t> bgrx(static_cast<size_t>(width) * height * 4);
    capture::testpattern::drawBgrx(bgrx.data(), width * 4, width, height, 1234);
    std::mt19937 random(7);
    for (size_t i = 0; i < bgrx.size(); ++i) {
        if (i % 4 != 3)
            bgrx[i] = static_cast<uint8_t>(std::clamp(int(bgrx[i]) + int(random() % 17) - 8, 0, 255));
    }
    return bgrx;
}

// ---- BGRA to I420 at 1280x720

void BareArgbToI420(benchmark::State& state)
{
    const int w = 1280, h = 720;
    const auto bgra = cameraPicture(w, h);
    std::vector<uint8_t> i420(w * h * 3 / 2);
    for (auto _ : state) {
        libyuv::ARGBToI420(bgra.data(), w * 4, i420.data(), w, i420.data() + w * h, w / 2,
            i420.data() + w * h * 5 / 4, w / 2, w, h);
        benchmark::DoNotOptimize(i420.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareArgbToI420)->Unit(benchmark::kMicrosecond);

// The wrapper's step without a registered source: the conversion, and a hand-over that is dropped at once.
void WrapperConversionStep(benchmark::State& state)
{
    const int w = 1280, h = 720;
    auto bgra = cameraPicture(w, h);
    CameraWrapper wrapper;
    for (auto _ : state)
        wrapper.onFrame(bgra.data(), w * 4, w, h);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(WrapperConversionStep)->Unit(benchmark::kMicrosecond);

// The hand-over alone: the studio copies the I420 picture into its slot.
void StudioHandOver(benchmark::State& state)
{
    const int w = 1280, h = 720;
    std::vector<uint8_t> i420(w * h * 3 / 2, 0x80);
    const char* id = "{bench-camera-hand-over}";
    ThirdSource::RegisterThirdSource(id);
    for (auto _ : state) {
        ThirdSource::SourceAsncFrame(
            id, i420.data(), i420.data() + w * h, i420.data() + w * h * 5 / 4, w, w / 2, w / 2, w, h);
    }
    ThirdSource::UnregisterThirdSource(id);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StudioHandOver)->Unit(benchmark::kMicrosecond);

// ---- decoding

struct Samples {
    AVCodecID codec;
    int width, height;
    std::vector<std::vector<uint8_t>> coded;
};

const Samples& samplesOf(AVCodecID codec, int height)
{
    static std::vector<std::unique_ptr<Samples>> made;
    for (const auto& samples : made) {
        if (samples->codec == codec && samples->height == height)
            return *samples;
    }
    const int width = height * 16 / 9;
    auto samples = std::make_unique<Samples>();
    samples->codec = codec;
    samples->width = width;
    samples->height = height;
    const AVPixelFormat format = codec == AV_CODEC_ID_MJPEG ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUV420P;
    samples->coded = codedsamples::encodeBgrx(codec, format, width, height, 60, cameraPicture(width, height));
    made.push_back(std::move(samples));
    return *made.back();
}

// Opens the decoder state as openCameraDecoder does, with the thread count given (0: FFmpeg's choice).
bool openWithThreads(CameraDecoder& state, AVCodecID codec, int threads)
{
    if (threads == 0)
        return openCameraDecoder(&state, codec) == 0;
    state = {};
    state.codec = avcodec_find_decoder(codec);
    state.context = state.codec ? avcodec_alloc_context3(state.codec) : nullptr;
    if (!state.context)
        return false;
    state.context->thread_count = threads;
    return avcodec_open2(state.context, state.codec, nullptr) == 0;
}

void CameraDecoderPath(benchmark::State& state, AVCodecID codec, int height, int threads)
{
    const Samples& samples = samplesOf(codec, height);
    CameraDecoder decoder;
    if (samples.coded.empty() || !openWithThreads(decoder, codec, threads)) {
        state.SkipWithError("no decoder or no samples");
        return;
    }
    size_t next = 0;
    int64_t pictures = 0;
    for (auto _ : state) {
        const auto& sample = samples.coded[next];
        next = (next + 1) % samples.coded.size();
        fk_video_frame frame {};
        int64_t timestamp = 0;
        bool gotPicture = false;
        decodeCameraSample(&decoder, sample.data(), sample.size(), &timestamp, &frame, &gotPicture);
        pictures += gotPicture;
    }
    freeCameraDecoder(&decoder);
    state.SetItemsProcessed(pictures);
}
BENCHMARK_CAPTURE(CameraDecoderPath, Mjpeg1080pOneThread, AV_CODEC_ID_MJPEG, 1080, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(CameraDecoderPath, Mjpeg1080pDefaultThreads, AV_CODEC_ID_MJPEG, 1080, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(CameraDecoderPath, H264720pDefaultThreads, AV_CODEC_ID_H264, 720, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(CameraDecoderPath, H2641080pDefaultThreads, AV_CODEC_ID_H264, 1080, 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Bare libavcodec on one thread: send, receive, nothing else.
void BareLibavcodecMjpeg1080p(benchmark::State& state)
{
    const Samples& samples = samplesOf(AV_CODEC_ID_MJPEG, 1080);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<std::vector<uint8_t>> padded;
    for (const auto& sample : samples.coded) {
        padded.push_back(sample);
        padded.back().resize(sample.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    }
    size_t next = 0;
    int64_t pictures = 0;
    for (auto _ : state) {
        packet->data = padded[next].data();
        packet->size = static_cast<int>(samples.coded[next].size());
        next = (next + 1) % padded.size();
        if (avcodec_send_packet(context, packet) == 0 && avcodec_receive_frame(context, frame) == 0)
            ++pictures;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    state.SetItemsProcessed(pictures);
}
BENCHMARK(BareLibavcodecMjpeg1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the exported scaler: 1280x720 BGRA to 640x360 I420

constexpr int kSrcW = 1280, kSrcH = 720, kDstW = 640, kDstH = 360;

struct I420Buffers {
    std::vector<uint8_t> y = std::vector<uint8_t>(kDstW * kDstH);
    std::vector<uint8_t> u = std::vector<uint8_t>(kDstW * kDstH / 4);
    std::vector<uint8_t> v = std::vector<uint8_t>(kDstW * kDstH / 4);
};

void ExportedScaler(benchmark::State& state)
{
    const auto bgra = cameraPicture(kSrcW, kSrcH);
    const ScaleDescription src { 7, kSrcW, kSrcH, 0, 1 };
    const ScaleDescription dst { 1, kDstW, kDstH, 0, 1 };
    VideoScaler* scaler = nullptr;
    if (video_scaler_create(&scaler, &dst, &src, static_cast<int>(state.range(0))) != 0) {
        state.SkipWithError("video_scaler_create failed");
        return;
    }
    I420Buffers out;
    uint8_t* planes[4] = { out.y.data(), out.u.data(), out.v.data(), nullptr };
    const uint32_t rows[4] = { kDstW, kDstW / 2, kDstW / 2, 0 };
    const uint8_t* input[1] = { bgra.data() };
    const uint32_t inputRows[1] = { kSrcW * 4 };
    for (auto _ : state)
        video_scaler_scale(scaler, planes, rows, input, inputRows);
    video_scaler_destroy(scaler);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ExportedScaler)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

// sws_scale straight into the caller's planes, with the flags of the same scale types.
void BareSwsScale(benchmark::State& state)
{
    const auto bgra = cameraPicture(kSrcW, kSrcH);
    const int flags = state.range(0) == 3 ? SWS_AREA : SWS_POINT;
    SwsContext* context = sws_getContext(
        kSrcW, kSrcH, AV_PIX_FMT_BGRA, kDstW, kDstH, AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    I420Buffers out;
    uint8_t* planes[4] = { out.y.data(), out.u.data(), out.v.data(), nullptr };
    const int rows[4] = { kDstW, kDstW / 2, kDstW / 2, 0 };
    const uint8_t* input[4] = { bgra.data(), nullptr, nullptr, nullptr };
    const int inputRows[4] = { kSrcW * 4, 0, 0, 0 };
    for (auto _ : state)
        sws_scale(context, input, inputRows, 0, kSrcH, planes, rows);
    sws_freeContext(context);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareSwsScale)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

// libyuv: a bilinear BGRA scale, then the conversion.
void LibyuvScaleThenConvert(benchmark::State& state)
{
    const auto bgra = cameraPicture(kSrcW, kSrcH);
    std::vector<uint8_t> scaled(kDstW * kDstH * 4);
    I420Buffers out;
    for (auto _ : state) {
        libyuv::ARGBScale(bgra.data(), kSrcW * 4, kSrcW, kSrcH, scaled.data(), kDstW * 4, kDstW, kDstH,
            libyuv::kFilterBilinear);
        libyuv::ARGBToI420(scaled.data(), kDstW * 4, out.y.data(), kDstW, out.u.data(), kDstW / 2,
            out.v.data(), kDstW / 2, kDstW, kDstH);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LibyuvScaleThenConvert)->Unit(benchmark::kMicrosecond);

} // namespace
