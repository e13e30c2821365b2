// The cost of the renderers and of framekit's conversion beside the bare calls underneath:
//  - PainterWidget::setFrame at 1080p (no rotation, and 90 degrees) beside libyuv's I420ToARGB into an
//    image reused from call to call;
//  - the OpenGL widget's upload and draw of one frame (glFinish included) at 720p and 1080p beside three
//    glTexSubImage2D into textures allocated once;
//  - fk_video_frame_convert_to_bgra per format at 720p beside the bare libyuv call and libswscale.
#include "media/i420frame.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"

#include <framekit/framekit.h>

#include <benchmark/benchmark.h>
#include <libyuv.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <QApplication>
#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

I420FramePtr testFrame(int width, int height, int rotation = 0)
{
    I420FramePtr frame = I420Frame::create(
        uint32_t(width), uint32_t(width / 2), uint32_t(width / 2), uint32_t(width), uint32_t(height));
    uint8_t* p = frame->data;
    const size_t planes = size_t(frame->dataA() - frame->data);
    for (size_t i = 0; i < planes; ++i)
        p[i] = uint8_t(16 + (i * 7 + i / 1920) % 220);
    frame->rotation = rotation;
    return frame;
}

// ---- painter renderer

void painterSetFrame(benchmark::State& state, int rotation)
{
    PainterWidget widget;
    const I420FramePtr frame = testFrame(1920, 1080, rotation);
    for (auto _ : state)
        benchmark::DoNotOptimize(widget.setFrame(frame));
}

void BM_PainterSetFrame1080p(benchmark::State& state) { painterSetFrame(state, 0); }
void BM_PainterSetFrame1080pRotated90(benchmark::State& state) { painterSetFrame(state, 90); }

void BM_LibyuvI420ToARGB1080p(benchmark::State& state)
{
    const I420FramePtr frame = testFrame(1920, 1080);
    QImage image(1920, 1080, QImage::Format_ARGB32);
    for (auto _ : state) {
        libyuv::I420ToARGB(frame->dataY(), int(frame->strideY()), frame->dataU(), int(frame->strideU()),
            frame->dataV(), int(frame->strideV()), image.bits(), int(image.bytesPerLine()), 1920, 1080);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_PainterSetFrame1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibyuvI420ToARGB1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PainterSetFrame1080pRotated90)->Unit(benchmark::kMicrosecond);

// ---- OpenGL renderer

class DrawableGLWidget : public OpenGLWidget {
public:
    using OpenGLWidget::paintGL;
};

struct GLFixture {
    DrawableGLWidget widget;
    bool ready = false;

    GLFixture(int width, int height)
    {
        widget.resize(width, height);
        widget.show();
        ready = QTest::qWaitForWindowExposed(&widget) && widget.context() && widget.context()->isValid();
    }
};

void openGlUploadAndDraw(benchmark::State& state, int width, int height)
{
    GLFixture fixture(width, height);
    if (!fixture.ready) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    const I420FramePtr frame = testFrame(width, height);
    fixture.widget.makeCurrent();
    QOpenGLFunctions* gl = fixture.widget.context()->functions();
    for (auto _ : state) {
        fixture.widget.setFrame(frame);
        fixture.widget.paintGL();
        gl->glFinish();
    }
    if (const GLubyte* renderer = gl->glGetString(GL_RENDERER))
        state.SetLabel(reinterpret_cast<const char*>(renderer));
    fixture.widget.doneCurrent();
}

void texSubImage(benchmark::State& state, int width, int height)
{
    GLFixture fixture(width, height);
    if (!fixture.ready) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    const I420FramePtr frame = testFrame(width, height);
    fixture.widget.makeCurrent();
    QOpenGLFunctions* gl = fixture.widget.context()->functions();
    GLuint textures[3];
    gl->glGenTextures(3, textures);
    const uint8_t* planes[3] = { frame->dataY(), frame->dataU(), frame->dataV() };
    const GLsizei widths[3]
        = { GLsizei(frame->strideY()), GLsizei(frame->strideU()), GLsizei(frame->strideV()) };
    const GLsizei heights[3]
        = { GLsizei(height), GLsizei(frame->chromaRows()), GLsizei(frame->chromaRows()) };
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < 3; ++i) {
        gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
        gl->glTexImage2D(
            GL_TEXTURE_2D, 0, GL_RED, widths[i], heights[i], 0, GL_RED, GL_UNSIGNED_BYTE, nullptr);
    }
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
            gl->glTexSubImage2D(
                GL_TEXTURE_2D, 0, 0, 0, widths[i], heights[i], GL_RED, GL_UNSIGNED_BYTE, planes[i]);
        }
        gl->glFinish();
    }
    gl->glDeleteTextures(3, textures);
    fixture.widget.doneCurrent();
}

void BM_OpenGLWidgetUploadAndDraw720p(benchmark::State& state) { openGlUploadAndDraw(state, 1280, 720); }
void BM_GLTexSubImage720p(benchmark::State& state) { texSubImage(state, 1280, 720); }
void BM_OpenGLWidgetUploadAndDraw1080p(benchmark::State& state) { openGlUploadAndDraw(state, 1920, 1080); }
void BM_GLTexSubImage1080p(benchmark::State& state) { texSubImage(state, 1920, 1080); }

BENCHMARK(BM_OpenGLWidgetUploadAndDraw720p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GLTexSubImage720p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenGLWidgetUploadAndDraw1080p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GLTexSubImage1080p)->Unit(benchmark::kMicrosecond);

// ---- framekit conversion at 720p

constexpr int kW = 1280, kH = 720;

struct Source {
    std::vector<std::vector<uint16_t>> storage;
    fk_video_frame frame {};

    explicit Source(int32_t format)
    {
        frame.format = format;
        frame.width = kW;
        frame.height = kH;
        const uint32_t cw = kW / 2, ch = kH / 2;
        switch (format) {
        case FK_VIDEO_FORMAT_I420:
            add(0, kW, kH), add(1, cw, ch), add(2, cw, ch);
            break;
        case FK_VIDEO_FORMAT_I422:
            add(0, kW, kH), add(1, cw, kH), add(2, cw, kH);
            break;
        case FK_VIDEO_FORMAT_NV12:
            add(0, kW, kH), add(1, kW, ch);
            break;
        case FK_VIDEO_FORMAT_YVYU:
        case FK_VIDEO_FORMAT_YUY2:
        case FK_VIDEO_FORMAT_UYVY:
            add(0, 2 * kW, kH);
            break;
        case FK_VIDEO_FORMAT_Y800:
            add(0, kW, kH);
            break;
        case FK_VIDEO_FORMAT_I010:
            add(0, 2 * kW, kH, 0x3ff), add(1, 2 * cw, ch, 0x3ff), add(2, 2 * cw, ch, 0x3ff);
            break;
        case FK_VIDEO_FORMAT_P010:
            add(0, 2 * kW, kH, 0xffc0), add(1, 2 * kW, ch, 0xffc0);
            break;
        default:
            add(0, 4 * kW, kH);
            break;
        }
    }

    void add(int plane, uint32_t linesize, uint32_t rows, uint16_t mask = 0xffff)
    {
        storage.emplace_back(size_t(linesize) * rows / 2);
        std::vector<uint16_t>& words = storage.back();
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = uint16_t((i * 2654435761u >> 7) & mask);
        frame.data[plane] = reinterpret_cast<uint8_t*>(words.data());
        frame.linesize[plane] = linesize;
    }

    const uint16_t* words(int plane) const { return reinterpret_cast<const uint16_t*>(frame.data[plane]); }
    int stride(int plane) const { return int(frame.linesize[plane]); }
};

void convertWithFramekit(benchmark::State& state, int32_t format)
{
    const Source source(format);
    for (auto _ : state) {
        uint8_t* bgra = fk_video_frame_convert_to_bgra(&source.frame);
        benchmark::DoNotOptimize(bgra);
        fk_free(bgra);
    }
}

// The bare libyuv call for the format into a buffer allocated once; YVYU has none.
void convertWithLibyuv(benchmark::State& state, int32_t format)
{
    const Source s(format);
    std::vector<uint8_t> bgra(size_t(kW) * kH * 4);
    uint8_t* d = bgra.data();
    const int ds = kW * 4;
    const auto& f = s.frame;
    for (auto _ : state) {
        switch (format) {
        case FK_VIDEO_FORMAT_I420:
            libyuv::I420ToARGB(
                f.data[0], s.stride(0), f.data[1], s.stride(1), f.data[2], s.stride(2), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_I422:
            libyuv::I422ToARGB(
                f.data[0], s.stride(0), f.data[1], s.stride(1), f.data[2], s.stride(2), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_NV12:
            libyuv::NV12ToARGB(f.data[0], s.stride(0), f.data[1], s.stride(1), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_YUY2:
            libyuv::YUY2ToARGB(f.data[0], s.stride(0), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_UYVY:
            libyuv::UYVYToARGB(f.data[0], s.stride(0), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_RGBA:
            libyuv::ABGRToARGB(f.data[0], s.stride(0), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_BGRA:
        case FK_VIDEO_FORMAT_BGRX:
            libyuv::ARGBCopy(f.data[0], s.stride(0), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_Y800:
            libyuv::I400ToARGB(f.data[0], s.stride(0), d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_I010:
            libyuv::I010ToARGB(s.words(0), s.stride(0) / 2, s.words(1), s.stride(1) / 2, s.words(2),
                s.stride(2) / 2, d, ds, kW, kH);
            break;
        case FK_VIDEO_FORMAT_P010:
            libyuv::P010ToARGBMatrix(s.words(0), s.stride(0) / 2, s.words(1), s.stride(1) / 2, d, ds,
                &libyuv::kYuvI601Constants, kW, kH);
            break;
        default:
            state.SkipWithError("no libyuv reader");
            return;
        }
        benchmark::ClobberMemory();
    }
}

AVPixelFormat swscaleFormat(int32_t format)
{
    switch (format) {
    case FK_VIDEO_FORMAT_I420:
        return AV_PIX_FMT_YUV420P;
    case FK_VIDEO_FORMAT_NV12:
        return AV_PIX_FMT_NV12;
    case FK_VIDEO_FORMAT_YVYU:
        return AV_PIX_FMT_YVYU422;
    case FK_VIDEO_FORMAT_YUY2:
        return AV_PIX_FMT_YUYV422;
    case FK_VIDEO_FORMAT_UYVY:
        return AV_PIX_FMT_UYVY422;
    case FK_VIDEO_FORMAT_RGBA:
        return AV_PIX_FMT_RGBA;
    case FK_VIDEO_FORMAT_BGRA:
        return AV_PIX_FMT_BGRA;
    case FK_VIDEO_FORMAT_BGRX:
        return AV_PIX_FMT_BGR0;
    case FK_VIDEO_FORMAT_Y800:
        return AV_PIX_FMT_GRAY8;
    case FK_VIDEO_FORMAT_I422:
        return AV_PIX_FMT_YUV422P;
    case FK_VIDEO_FORMAT_I010:
        return AV_PIX_FMT_YUV420P10LE;
    case FK_VIDEO_FORMAT_P010:
        return AV_PIX_FMT_P010LE;
    default:
        return AV_PIX_FMT_NONE;
    }
}

void convertWithSwscale(benchmark::State& state, int32_t format)
{
    const Source s(format);
    SwsContext* context = sws_getContext(
        kW, kH, swscaleFormat(format), kW, kH, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("no libswscale context");
        return;
    }
    std::vector<uint8_t> bgra(size_t(kW) * kH * 4);
    const auto& f = s.frame;
    const uint8_t* src[4] = { f.data[0], f.data[1], f.data[2], nullptr };
    const int srcStride[4] = { s.stride(0), s.stride(1), s.stride(2), 0 };
    uint8_t* dst[4] = { bgra.data(), nullptr, nullptr, nullptr };
    const int dstStride[4] = { kW * 4, 0, 0, 0 };
    for (auto _ : state) {
        sws_scale(context, src, srcStride, 0, kH, dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
}

const struct {
    int32_t format;
    const char* name;
} kFormats[] = {
    { FK_VIDEO_FORMAT_I420, "I420" },
    { FK_VIDEO_FORMAT_NV12, "NV12" },
    { FK_VIDEO_FORMAT_YVYU, "YVYU" },
    { FK_VIDEO_FORMAT_YUY2, "YUY2" },
    { FK_VIDEO_FORMAT_UYVY, "UYVY" },
    { FK_VIDEO_FORMAT_RGBA, "RGBA" },
    { FK_VIDEO_FORMAT_BGRA, "BGRA" },
    { FK_VIDEO_FORMAT_BGRX, "BGRX" },
    { FK_VIDEO_FORMAT_Y800, "Y800" },
    { FK_VIDEO_FORMAT_I422, "I422" },
    { FK_VIDEO_FORMAT_I010, "I010" },
    { FK_VIDEO_FORMAT_P010, "P010" },
};

void registerConversions()
{
    for (const auto& f : kFormats) {
        const std::string name = f.name;
        benchmark::RegisterBenchmark(
            ("BM_Convert720p/" + name + "/framekit").c_str(), convertWithFramekit, f.format)
            ->Unit(benchmark::kMicrosecond);
        if (f.format != FK_VIDEO_FORMAT_YVYU)
            benchmark::RegisterBenchmark(
                ("BM_Convert720p/" + name + "/libyuv").c_str(), convertWithLibyuv, f.format)
                ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(
            ("BM_Convert720p/" + name + "/libswscale").c_str(), convertWithSwscale, f.format)
            ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // The OpenGL widget needs an X server with GLX: without a display the program runs itself on one.
    if (!std::getenv("DISPLAY")) {
        std::vector<char*> args;
        args.push_back(const_cast<char*>(XVFB_WRAPPER));
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) {
            self[length] = '\0';
            args.push_back(self);
            for (int i = 1; i < argc; ++i)
                args.push_back(argv[i]);
            args.push_back(nullptr);
            execv(XVFB_WRAPPER, args.data());
        }
        std::perror("bench_frames: cannot start on a private X server");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    registerConversions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
