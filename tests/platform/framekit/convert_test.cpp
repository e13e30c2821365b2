// Conversion of every camera format to BGRA, checked against libswscale as an independent reference.
#include <framekit/framekit.h>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Format {
    int32_t code;
    AVPixelFormat reference;
    const char* name;
};

const Format kFormats[] = {
    { FK_VIDEO_FORMAT_I420, AV_PIX_FMT_YUV420P, "I420" },
    { FK_VIDEO_FORMAT_NV12, AV_PIX_FMT_NV12, "NV12" },
    { FK_VIDEO_FORMAT_YVYU, AV_PIX_FMT_YVYU422, "YVYU" },
    { FK_VIDEO_FORMAT_YUY2, AV_PIX_FMT_YUYV422, "YUY2" },
    { FK_VIDEO_FORMAT_UYVY, AV_PIX_FMT_UYVY422, "UYVY" },
    { FK_VIDEO_FORMAT_RGBA, AV_PIX_FMT_RGBA, "RGBA" },
    { FK_VIDEO_FORMAT_BGRA, AV_PIX_FMT_BGRA, "BGRA" },
    { FK_VIDEO_FORMAT_BGRX, AV_PIX_FMT_BGR0, "BGRX" },
    { FK_VIDEO_FORMAT_Y800, AV_PIX_FMT_GRAY8, "Y800" },
    { FK_VIDEO_FORMAT_I422, AV_PIX_FMT_YUV422P, "I422" },
    { FK_VIDEO_FORMAT_I010, AV_PIX_FMT_YUV420P10LE, "I010" },
    { FK_VIDEO_FORMAT_P010, AV_PIX_FMT_P010LE, "P010" },
};

// A picture in one format, with rows padded beyond what the width needs. Luma varies fast, chroma
// slowly, so that the way either library spreads chroma over its pixels stays below the tolerance.
struct Source {
    std::vector<std::vector<uint16_t>> storage; // 16-bit storage keeps 10-bit planes aligned
    fk_video_frame frame {};

    // The planes are made for the next even size; the frame shows the requested (possibly odd) part, so
    // that the reference can convert the even picture, where its chroma scale is exactly one half.
    Source(int32_t code, uint32_t shownWidth, uint32_t shownHeight, int32_t range = FK_VIDEO_RANGE_DEFAULT)
    {
        const uint32_t width = (shownWidth + 1) / 2 * 2;
        const uint32_t height = (shownHeight + 1) / 2 * 2;
        frame.format = code;
        frame.width = shownWidth;
        frame.height = shownHeight;
        frame.range = range;
        const uint32_t cw = (width + 1) / 2;
        const uint32_t ch = (height + 1) / 2;
        auto luma = [](uint32_t x, uint32_t y) { return uint8_t(20 + (x * 7 + y * 11) % 210); };
        auto cb = [](uint32_t cx, uint32_t cy) { return uint8_t(60 + cx + cy); };
        auto cr = [](uint32_t cx, uint32_t cy) { return uint8_t(190 - cx - 2 * cy / 3); };

        switch (code) {
        case FK_VIDEO_FORMAT_I420:
        case FK_VIDEO_FORMAT_I422: {
            const uint32_t rows = code == FK_VIDEO_FORMAT_I420 ? ch : height;
            uint8_t* y = addPlane(0, width + 13, height);
            uint8_t* u = addPlane(1, cw + 5, rows);
            uint8_t* v = addPlane(2, cw + 3, rows);
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < width; ++x)
                    y[r * frame.linesize[0] + x] = luma(x, r);
            for (uint32_t r = 0; r < rows; ++r)
                for (uint32_t x = 0; x < cw; ++x) {
                    const uint32_t cy = code == FK_VIDEO_FORMAT_I420 ? r : r / 2;
                    u[r * frame.linesize[1] + x] = cb(x, cy);
                    v[r * frame.linesize[2] + x] = cr(x, cy);
                }
            break;
        }
        case FK_VIDEO_FORMAT_NV12: {
            uint8_t* y = addPlane(0, width + 9, height);
            uint8_t* uv = addPlane(1, 2 * cw + 6, ch);
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < width; ++x)
                    y[r * frame.linesize[0] + x] = luma(x, r);
            for (uint32_t r = 0; r < ch; ++r)
                for (uint32_t x = 0; x < cw; ++x) {
                    uv[r * frame.linesize[1] + 2 * x] = cb(x, r);
                    uv[r * frame.linesize[1] + 2 * x + 1] = cr(x, r);
                }
            break;
        }
        case FK_VIDEO_FORMAT_YVYU:
        case FK_VIDEO_FORMAT_YUY2:
        case FK_VIDEO_FORMAT_UYVY: {
            uint8_t* p = addPlane(0, 4 * cw + 8, height);
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < cw; ++x) {
                    uint8_t* q = p + r * frame.linesize[0] + 4 * x;
                    const uint8_t y0 = luma(2 * x, r), y1 = luma(2 * x + 1, r);
                    const uint8_t u = cb(x, r / 2), v = cr(x, r / 2);
                    const uint8_t yvyu[4] = { y0, v, y1, u }, yuy2[4] = { y0, u, y1, v },
                                  uyvy[4] = { u, y0, v, y1 };
                    std::memcpy(q,
                        code == FK_VIDEO_FORMAT_YVYU       ? yvyu
                            : code == FK_VIDEO_FORMAT_YUY2 ? yuy2
                                                           : uyvy,
                        4);
                }
            break;
        }
        case FK_VIDEO_FORMAT_RGBA:
        case FK_VIDEO_FORMAT_BGRA:
        case FK_VIDEO_FORMAT_BGRX: {
            uint8_t* p = addPlane(0, 4 * width + 12, height);
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < width; ++x) {
                    uint8_t* q = p + r * frame.linesize[0] + 4 * x;
                    q[0] = luma(x, r), q[1] = cb(x, r), q[2] = cr(x, r);
                    q[3] = code == FK_VIDEO_FORMAT_BGRX ? uint8_t(x * 3) : uint8_t(255 - x);
                }
            break;
        }
        case FK_VIDEO_FORMAT_Y800: {
            uint8_t* y = addPlane(0, width + 1, height);
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < width; ++x)
                    y[r * frame.linesize[0] + x] = luma(x, r);
            break;
        }
        case FK_VIDEO_FORMAT_I010:
        case FK_VIDEO_FORMAT_P010: {
            // 10-bit samples: I010 in the low bits, P010 in the high bits of each 16-bit word.
            const int shift = code == FK_VIDEO_FORMAT_I010 ? 0 : 6;
            auto ten = [shift](uint8_t eight, uint32_t fraction) {
                return uint16_t(((eight << 2) | (fraction & 3)) << shift);
            };
            auto* y = reinterpret_cast<uint16_t*>(addPlane(0, 2 * width + 8, height));
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t x = 0; x < width; ++x)
                    y[r * frame.linesize[0] / 2 + x] = ten(luma(x, r), x + r);
            if (code == FK_VIDEO_FORMAT_I010) {
                auto* u = reinterpret_cast<uint16_t*>(addPlane(1, 2 * cw + 4, ch));
                auto* v = reinterpret_cast<uint16_t*>(addPlane(2, 2 * cw + 2, ch));
                for (uint32_t r = 0; r < ch; ++r)
                    for (uint32_t x = 0; x < cw; ++x) {
                        u[r * frame.linesize[1] / 2 + x] = ten(cb(x, r), x);
                        v[r * frame.linesize[2] / 2 + x] = ten(cr(x, r), r);
                    }
            } else {
                auto* uv = reinterpret_cast<uint16_t*>(addPlane(1, 4 * cw + 4, ch));
                for (uint32_t r = 0; r < ch; ++r)
                    for (uint32_t x = 0; x < cw; ++x) {
                        uv[r * frame.linesize[1] / 2 + 2 * x] = ten(cb(x, r), x);
                        uv[r * frame.linesize[1] / 2 + 2 * x + 1] = ten(cr(x, r), r);
                    }
            }
            break;
        }
        default:
            break;
        }
    }

    uint8_t* addPlane(int index, uint32_t linesize, uint32_t rows)
    {
        storage.emplace_back((size_t(linesize) * rows + 1) / 2 + 1);
        frame.data[index] = reinterpret_cast<uint8_t*>(storage.back().data());
        frame.linesize[index] = linesize;
        return frame.data[index];
    }
};

struct BgraDeleter {
    void operator()(uint8_t* p) const { fk_free(p); }
};
using Bgra = std::unique_ptr<uint8_t, BgraDeleter>;

// libswscale's picture of the same source, BT.601 into full-range RGB, as top-down BGRA. libswscale
// takes grey for full range whatever it is told, so grey goes in as I420 with neutral chroma.
std::vector<uint8_t> reference(const Source& source, AVPixelFormat format)
{
    const fk_video_frame& f = source.frame;
    const int w = int(f.width + 1) / 2 * 2, h = int(f.height + 1) / 2 * 2;
    std::vector<uint8_t> neutral(size_t(w) * h / 4, 128);
    const uint8_t* src[4] = { f.data[0], f.data[1], f.data[2], nullptr };
    int srcStride[4] = { int(f.linesize[0]), int(f.linesize[1]), int(f.linesize[2]), 0 };
    if (format == AV_PIX_FMT_GRAY8) {
        format = AV_PIX_FMT_YUV420P;
        src[1] = src[2] = neutral.data();
        srcStride[1] = srcStride[2] = w / 2;
    }
    SwsContext* context = sws_getContext(w, h, format, w, h, AV_PIX_FMT_BGRA,
        SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    EXPECT_NE(context, nullptr);
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(
        context, coefficients, f.range == FK_VIDEO_RANGE_FULL ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    std::vector<uint8_t> out(size_t(w) * h * 4);
    uint8_t* dst[4] = { out.data(), nullptr, nullptr, nullptr };
    const int dstStride[4] = { w * 4, 0, 0, 0 };
    EXPECT_EQ(sws_scale(context, src, srcStride, 0, h, dst, dstStride), h);
    sws_freeContext(context);

    std::vector<uint8_t> shown(size_t(f.width) * f.height * 4);
    for (uint32_t r = 0; r < f.height; ++r)
        std::memcpy(
            shown.data() + size_t(r) * f.width * 4, out.data() + size_t(r) * w * 4, size_t(f.width) * 4);
    return shown;
}

// The largest difference of any channel of any pixel.
int largestDifference(const uint8_t* a, const uint8_t* b, size_t bytes)
{
    int largest = 0;
    for (size_t i = 0; i < bytes; ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

std::vector<uint8_t> flipRows(const std::vector<uint8_t>& bgra, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> flipped(bgra.size());
    const size_t row = size_t(width) * 4;
    for (uint32_t r = 0; r < height; ++r)
        std::memcpy(flipped.data() + r * row, bgra.data() + (height - 1 - r) * row, row);
    return flipped;
}

} // namespace

TEST(FramekitConvert, EveryFormatMatchesTheReferenceTopDownAndFlipped)
{
    const struct {
        uint32_t width, height;
    } sizes[] = { { 64, 36 }, { 33, 17 } };
    for (const Format& format : kFormats) {
        for (const auto& size : sizes) {
            for (bool flip : { false, true }) {
                SCOPED_TRACE(testing::Message()
                    << format.name << " " << size.width << "x" << size.height << (flip ? " flipped" : ""));
                Source source(format.code, size.width, size.height);
                std::vector<uint8_t> expected = reference(source, format.reference);
                if (flip)
                    expected = flipRows(expected, size.width, size.height);
                source.frame.flip = flip;
                Bgra converted(fk_video_frame_convert_to_bgra(&source.frame));
                ASSERT_TRUE(converted);
                EXPECT_LE(largestDifference(converted.get(), expected.data(), expected.size()), 2);
            }
        }
    }
}

TEST(FramekitConvert, FullRangeSourcesUseTheFullRangeMatrix)
{
    for (int32_t code : { FK_VIDEO_FORMAT_I420, FK_VIDEO_FORMAT_NV12, FK_VIDEO_FORMAT_YUY2,
             FK_VIDEO_FORMAT_UYVY, FK_VIDEO_FORMAT_YVYU, FK_VIDEO_FORMAT_Y800, FK_VIDEO_FORMAT_I422 }) {
        const Format* format = nullptr;
        for (const Format& f : kFormats)
            if (f.code == code)
                format = &f;
        SCOPED_TRACE(format->name);
        Source source(code, 32, 16, FK_VIDEO_RANGE_FULL);
        const std::vector<uint8_t> expected = reference(source, format->reference);
        Bgra converted(fk_video_frame_convert_to_bgra(&source.frame));
        ASSERT_TRUE(converted);
        EXPECT_LE(largestDifference(converted.get(), expected.data(), expected.size()), 2);
    }
}

TEST(FramekitConvert, BgrxComesOutOpaque)
{
    Source source(FK_VIDEO_FORMAT_BGRX, 8, 2);
    Bgra converted(fk_video_frame_convert_to_bgra(&source.frame));
    ASSERT_TRUE(converted);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(converted.get()[4 * i + 3], 255);
}

TEST(FramekitConvert, RefusesWhatItCannotReadSafely)
{
    EXPECT_EQ(fk_video_frame_convert_to_bgra(nullptr), nullptr);

    const struct {
        const char* name;
        void (*spoil)(fk_video_frame&);
    } cases[] = {
        { "unknown format", [](fk_video_frame& f) { f.format = 16; } },
        { "format without converter", [](fk_video_frame& f) { f.format = FK_VIDEO_FORMAT_I444; } },
        { "zero width", [](fk_video_frame& f) { f.width = 0; } },
        { "zero height", [](fk_video_frame& f) { f.height = 0; } },
        { "huge height", [](fk_video_frame& f) { f.height = 100000; } },
        { "missing chroma plane", [](fk_video_frame& f) { f.data[2] = nullptr; } },
        { "short luma rows", [](fk_video_frame& f) { f.linesize[0] = f.width - 1; } },
        { "short chroma rows", [](fk_video_frame& f) { f.linesize[1] = f.width / 2 - 1; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Source source(FK_VIDEO_FORMAT_I420, 32, 16);
        c.spoil(source.frame);
        EXPECT_EQ(fk_video_frame_convert_to_bgra(&source.frame), nullptr);
    }

    Source odd(FK_VIDEO_FORMAT_I010, 32, 16);
    odd.frame.linesize[0] = 65;
    EXPECT_EQ(fk_video_frame_convert_to_bgra(&odd.frame), nullptr);
}
