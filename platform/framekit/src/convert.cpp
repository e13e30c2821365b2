#include <framekit/framekit.h>

#include <libyuv.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kMaxSide = 16384;

struct Picture {
    const fk_video_frame& frame;
    int width;
    // Negative for a bottom-up picture: libyuv then reads the rows from the last to the first.
    int height;
    const libyuv::YuvConstants* matrix;
};

const uint8_t* plane(const Picture& p, int i) { return p.frame.data[i]; }
int stride(const Picture& p, int i) { return int(p.frame.linesize[i]); }
const uint16_t* plane16(const Picture& p, int i)
{
    return reinterpret_cast<const uint16_t*>(p.frame.data[i]);
}
int stride16(const Picture& p, int i) { return int(p.frame.linesize[i] / 2); }

int fromI420(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::I420ToARGBMatrix(plane(p, 0), stride(p, 0), plane(p, 1), stride(p, 1), plane(p, 2),
        stride(p, 2), dst, dstStride, p.matrix, p.width, p.height);
}

int fromI422(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::I422ToARGBMatrix(plane(p, 0), stride(p, 0), plane(p, 1), stride(p, 1), plane(p, 2),
        stride(p, 2), dst, dstStride, p.matrix, p.width, p.height);
}

int fromNV12(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::NV12ToARGBMatrix(
        plane(p, 0), stride(p, 0), plane(p, 1), stride(p, 1), dst, dstStride, p.matrix, p.width, p.height);
}

// libyuv's packed 4:2:2 converters know only the limited-range matrix; other ranges go through planar 4:2:2.
using PackedToI422 = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int, int, int);
using PackedToARGB = int (*)(const uint8_t*, int, uint8_t*, int, int, int);

int fromPacked422(const Picture& p, uint8_t* dst, int dstStride, PackedToARGB direct, PackedToI422 split)
{
    if (p.matrix == &libyuv::kYuvI601Constants)
        return direct(plane(p, 0), stride(p, 0), dst, dstStride, p.width, p.height);
    const int rows = p.height < 0 ? -p.height : p.height;
    const int chromaWidth = (p.width + 1) / 2;
    std::vector<uint8_t> planar(size_t(p.width) * rows + 2 * size_t(chromaWidth) * rows);
    uint8_t* y = planar.data();
    uint8_t* u = y + size_t(p.width) * rows;
    uint8_t* v = u + size_t(chromaWidth) * rows;
    const int result
        = split(plane(p, 0), stride(p, 0), y, p.width, u, chromaWidth, v, chromaWidth, p.width, p.height);
    if (result != 0)
        return result;
    return libyuv::I422ToARGBMatrix(
        y, p.width, u, chromaWidth, v, chromaWidth, dst, dstStride, p.matrix, p.width, rows);
}

int fromYUY2(const Picture& p, uint8_t* dst, int dstStride)
{
    return fromPacked422(p, dst, dstStride, libyuv::YUY2ToARGB, libyuv::YUY2ToI422);
}

int fromUYVY(const Picture& p, uint8_t* dst, int dstStride)
{
    return fromPacked422(p, dst, dstStride, libyuv::UYVYToARGB, libyuv::UYVYToI422);
}

// libyuv has no YVYU reader; libswscale converts it. One context per thread, kept while the size and
// range stay the same (setting the colour details rebuilds its tables).
int fromYVYU(const Picture& p, uint8_t* dst, int dstStride)
{
    struct ContextDeleter {
        void operator()(SwsContext* context) const { sws_freeContext(context); }
    };
    struct Cached {
        std::unique_ptr<SwsContext, ContextDeleter> context;
        int width = 0;
        int rows = 0;
        int fullRange = -1;
    };
    thread_local Cached cached;
    const int rows = p.height < 0 ? -p.height : p.height;
    const int fullRange = p.matrix == &libyuv::kYuvJPEGConstants ? 1 : 0;
    if (!cached.context || cached.width != p.width || cached.rows != rows || cached.fullRange != fullRange) {
        cached.context.reset(sws_getContext(p.width, rows, AV_PIX_FMT_YVYU422, p.width, rows, AV_PIX_FMT_BGRA,
            SWS_POINT | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
        if (!cached.context)
            return -1;
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(
            cached.context.get(), coefficients, fullRange, coefficients, 1, 0, 1 << 16, 1 << 16);
        cached.width = p.width;
        cached.rows = rows;
        cached.fullRange = fullRange;
    }

    const uint8_t* src[4] = { plane(p, 0), nullptr, nullptr, nullptr };
    int srcStride[4] = { stride(p, 0), 0, 0, 0 };
    if (p.height < 0) {
        src[0] += ptrdiff_t(rows - 1) * srcStride[0];
        srcStride[0] = -srcStride[0];
    }
    uint8_t* dstPlanes[4] = { dst, nullptr, nullptr, nullptr };
    int dstStrides[4] = { dstStride, 0, 0, 0 };
    return sws_scale(cached.context.get(), src, srcStride, 0, rows, dstPlanes, dstStrides) == rows ? 0 : -1;
}

int fromRGBA(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::ABGRToARGB(plane(p, 0), stride(p, 0), dst, dstStride, p.width, p.height);
}

int fromBGRA(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::ARGBCopy(plane(p, 0), stride(p, 0), dst, dstStride, p.width, p.height);
}

// The fourth byte of BGRX is undefined: the copy is made opaque by copying a row of 255 into every alpha.
int fromBGRX(const Picture& p, uint8_t* dst, int dstStride)
{
    const int result = fromBGRA(p, dst, dstStride);
    if (result != 0)
        return result;
    const std::vector<uint8_t> opaque(size_t(p.width), 255);
    const int rows = p.height < 0 ? -p.height : p.height;
    return libyuv::ARGBCopyYToAlpha(opaque.data(), 0, dst, dstStride, p.width, rows);
}

int fromY800(const Picture& p, uint8_t* dst, int dstStride)
{
    if (p.matrix == &libyuv::kYuvJPEGConstants)
        return libyuv::J400ToARGB(plane(p, 0), stride(p, 0), dst, dstStride, p.width, p.height);
    return libyuv::I400ToARGB(plane(p, 0), stride(p, 0), dst, dstStride, p.width, p.height);
}

int fromI010(const Picture& p, uint8_t* dst, int dstStride)
{
    return libyuv::I010ToARGBMatrix(plane16(p, 0), stride16(p, 0), plane16(p, 1), stride16(p, 1),
        plane16(p, 2), stride16(p, 2), dst, dstStride, p.matrix, p.width, p.height);
}

// libyuv's direct P010 reader drops precision (up to 3 levels off); splitting into planar 10-bit first
// keeps the conversion as exact as the planar one.
int fromP010(const Picture& p, uint8_t* dst, int dstStride)
{
    const int rows = p.height < 0 ? -p.height : p.height;
    const int chromaWidth = (p.width + 1) / 2;
    const int chromaRows = (rows + 1) / 2;
    std::vector<uint16_t> planar(size_t(p.width) * rows + 2 * size_t(chromaWidth) * chromaRows);
    uint16_t* y = planar.data();
    uint16_t* u = y + size_t(p.width) * rows;
    uint16_t* v = u + size_t(chromaWidth) * chromaRows;
    const int result = libyuv::P010ToI010(plane16(p, 0), stride16(p, 0), plane16(p, 1), stride16(p, 1), y,
        p.width, u, chromaWidth, v, chromaWidth, p.width, rows);
    if (result != 0)
        return result;
    // The split keeps the stored row order (libyuv's P010ToI010 misplaces the last chroma row of an odd
    // height when it flips); the flip happens here.
    return libyuv::I010ToARGBMatrix(
        y, p.width, u, chromaWidth, v, chromaWidth, dst, dstStride, p.matrix, p.width, p.height);
}

// What a format needs: per plane, the bytes a row must hold (a multiple of the width, or of the chroma
// width (width + 1) / 2) and whether its samples are 16 bits wide.
struct PlaneNeed {
    uint32_t perPixel = 0;
    uint32_t perChromaPixel = 0;
};

struct FormatEntry {
    int32_t format;
    int (*convert)(const Picture&, uint8_t*, int);
    PlaneNeed planes[3];
    bool sixteenBit;
};

const FormatEntry kFormats[] = {
    { FK_VIDEO_FORMAT_I420, fromI420, { { 1, 0 }, { 0, 1 }, { 0, 1 } }, false },
    { FK_VIDEO_FORMAT_NV12, fromNV12, { { 1, 0 }, { 0, 2 }, {} }, false },
    { FK_VIDEO_FORMAT_YVYU, fromYVYU, { { 0, 4 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_YUY2, fromYUY2, { { 0, 4 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_UYVY, fromUYVY, { { 0, 4 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_RGBA, fromRGBA, { { 4, 0 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_BGRA, fromBGRA, { { 4, 0 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_BGRX, fromBGRX, { { 4, 0 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_Y800, fromY800, { { 1, 0 }, {}, {} }, false },
    { FK_VIDEO_FORMAT_I422, fromI422, { { 1, 0 }, { 0, 1 }, { 0, 1 } }, false },
    { FK_VIDEO_FORMAT_I010, fromI010, { { 2, 0 }, { 0, 2 }, { 0, 2 } }, true },
    { FK_VIDEO_FORMAT_P010, fromP010, { { 2, 0 }, { 0, 4 }, {} }, true },
};

const FormatEntry* findFormat(int32_t format)
{
    for (const FormatEntry& entry : kFormats) {
        if (entry.format == format)
            return &entry;
    }
    return nullptr;
}

bool planesUsable(const fk_video_frame& frame, const FormatEntry& entry)
{
    const uint32_t chromaWidth = (frame.width + 1) / 2;
    for (int i = 0; i < 3; ++i) {
        const PlaneNeed& need = entry.planes[i];
        if (!need.perPixel && !need.perChromaPixel)
            continue;
        if (!frame.data[i])
            return false;
        if (frame.linesize[i] < need.perPixel * frame.width + need.perChromaPixel * chromaWidth)
            return false;
        if (frame.linesize[i] > uint32_t(INT32_MAX))
            return false;
        if (entry.sixteenBit
            && (frame.linesize[i] % 2 != 0
                || reinterpret_cast<uintptr_t>(frame.data[i]) % alignof(uint16_t) != 0))
            return false;
    }
    return true;
}

} // namespace

uint8_t* fk_video_frame_convert_to_bgra(const struct fk_video_frame* frame)
{
    if (!frame) {
        fk_log(FK_LOG_WARNING, "convert_to_bgra: no frame");
        return nullptr;
    }
    const FormatEntry* entry = findFormat(frame->format);
    if (!entry) {
        fk_log(FK_LOG_WARNING, "convert_to_bgra: unsupported format %d", int(frame->format));
        return nullptr;
    }
    if (frame->width == 0 || frame->height == 0 || frame->width > kMaxSide || frame->height > kMaxSide) {
        fk_log(FK_LOG_WARNING, "convert_to_bgra: bad size %ux%u", frame->width, frame->height);
        return nullptr;
    }
    if (!planesUsable(*frame, *entry)) {
        fk_log(FK_LOG_WARNING, "convert_to_bgra: format %d, %ux%u: missing plane or short rows",
            int(frame->format), frame->width, frame->height);
        return nullptr;
    }

    const int width = int(frame->width);
    const int height = int(frame->height);
    auto* bgra = static_cast<uint8_t*>(fk_malloc(size_t(width) * size_t(height) * 4));
    if (!bgra) {
        fk_log(FK_LOG_ERROR, "convert_to_bgra: out of memory for %dx%d", width, height);
        return nullptr;
    }
    const Picture picture { *frame, width, frame->flip ? -height : height,
        frame->range == FK_VIDEO_RANGE_FULL ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants };
    if (entry->convert(picture, bgra, width * 4) != 0) {
        fk_log(FK_LOG_WARNING, "convert_to_bgra: format %d, %dx%d: conversion failed", int(frame->format),
            width, height);
        fk_free(bgra);
        return nullptr;
    }
    return bgra;
}
