#include "media/videoscaler.h"

#include <framekit/framekit.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr std::pair<int, AVPixelFormat> kFormats[] = {
    { 1, AV_PIX_FMT_YUV420P },
    { 2, AV_PIX_FMT_NV12 },
    { 3, AV_PIX_FMT_YVYU422 },
    { 4, AV_PIX_FMT_YUYV422 },
    { 5, AV_PIX_FMT_UYVY422 },
    { 6, AV_PIX_FMT_RGBA },
    { 7, AV_PIX_FMT_BGRA },
    { 8, AV_PIX_FMT_BGR0 },
    { 9, AV_PIX_FMT_GRAY8 },
    { 10, AV_PIX_FMT_YUV444P },
    { 11, AV_PIX_FMT_BGR24 },
    { 12, AV_PIX_FMT_YUV422P },
    { 13, AV_PIX_FMT_YUVA420P },
    { 14, AV_PIX_FMT_YUVA422P },
    { 15, AV_PIX_FMT_YUVA444P },
    { 17, AV_PIX_FMT_YUV420P10LE },
    { 18, AV_PIX_FMT_P010LE },
    { 19, AV_PIX_FMT_YUV422P10LE },
    { 20, AV_PIX_FMT_YUV444P12LE },
    { 21, AV_PIX_FMT_YUVA444P12LE },
};

AVPixelFormat pixelFormat(int code)
{
    for (const auto& [framekit, ffmpeg] : kFormats) {
        if (framekit == code)
            return ffmpeg;
    }
    return AV_PIX_FMT_NONE;
}

int swsFlags(int type)
{
    switch (type) {
    case 0:
    case 2:
        return SWS_FAST_BILINEAR;
    case 3:
        // libswscale takes exactly one algorithm; bilinear and area together make every set-up fail.
        // Area averaging shrinks without aliasing and enlarges like bilinear.
        return SWS_AREA;
    case 4:
        return SWS_BICUBIC;
    default:
        return SWS_POINT;
    }
}

const int* coefficients(int colorSpace)
{
    switch (colorSpace) {
    case 1:
        return sws_getCoefficients(SWS_CS_ITU601);
    case 4:
    case 5:
        return sws_getCoefficients(SWS_CS_BT2020);
    default:
        return sws_getCoefficients(SWS_CS_ITU709);
    }
}

int swsRange(int range) { return range == 2 ? 1 : 0; }

bool usableSize(const ScaleDescription& description)
{
    return description.width > 0 && description.height > 0 && description.width <= INT_MAX
        && description.height <= INT_MAX;
}

// Rows of each plane of a picture of that format; chroma heights round up, so an odd last row is kept.
void planeHeights(AVPixelFormat format, int height, int heights[4])
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    bool used[4] = {};
    for (int component = 0; component < descriptor->nb_components; ++component)
        used[descriptor->comp[component].plane] = true;
    const int chromaHeight = AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h);
    heights[0] = height;
    heights[1] = used[1] ? chromaHeight : 0;
    heights[2] = used[2] ? chromaHeight : 0;
    heights[3] = used[3] ? height : 0;
}

void copyPlane(
    uint8_t* destination, int destinationRowLength, const uint8_t* source, int sourceRowLength, int rows)
{
    if (destinationRowLength > 0 && destinationRowLength == sourceRowLength) {
        std::memcpy(destination, source, static_cast<size_t>(destinationRowLength) * rows);
        return;
    }
    const size_t bytes
        = static_cast<size_t>(std::min(std::abs(destinationRowLength), std::abs(sourceRowLength)));
    for (int row = 0; row < rows; ++row) {
        std::memcpy(destination, source, bytes);
        destination += destinationRowLength;
        source += sourceRowLength;
    }
}

} // namespace

extern "C" {

int video_scaler_create(VideoScaler** out, const ScaleDescription* dst, const ScaleDescription* src, int type)
{
    if (!out || !dst || !src)
        return -2;
    const AVPixelFormat dstFormat = pixelFormat(dst->format);
    const AVPixelFormat srcFormat = pixelFormat(src->format);
    if (dstFormat == AV_PIX_FMT_NONE || srcFormat == AV_PIX_FMT_NONE)
        return -1;
    if (!usableSize(*dst) || !usableSize(*src))
        return -2;
    const int dstWidth = static_cast<int>(dst->width), dstHeight = static_cast<int>(dst->height);

    auto* scaler = static_cast<VideoScaler*>(fk_malloc(sizeof(VideoScaler)));
    if (!scaler)
        return -2;
    std::memset(scaler, 0, sizeof *scaler);
    scaler->sourceHeight = static_cast<int>(src->height);
    scaler->sourcePlanes = av_pix_fmt_count_planes(srcFormat);
    planeHeights(dstFormat, dstHeight, scaler->planeHeights);

    const int allocated
        = av_image_alloc(scaler->planes, scaler->rowLengths, dstWidth, dstHeight, dstFormat, 32);
    if (allocated < 0) {
        fk_log(FK_LOG_WARNING, "video_scaler_create: av_image_alloc failed: %d", allocated);
        video_scaler_destroy(scaler);
        return -2;
    }
    scaler->context = sws_alloc_context();
    if (!scaler->context) {
        fk_log(FK_LOG_WARNING, "video_scaler_create: Could not create swscale");
        video_scaler_destroy(scaler);
        return -2;
    }

    SwsContext* context = scaler->context;
    av_opt_set_int(context, "sws_flags", swsFlags(type), 0);
    av_opt_set_int(context, "srcw", src->width, 0);
    av_opt_set_int(context, "srch", src->height, 0);
    av_opt_set_int(context, "dstw", dst->width, 0);
    av_opt_set_int(context, "dsth", dst->height, 0);
    av_opt_set_int(context, "src_format", srcFormat, 0);
    av_opt_set_int(context, "dst_format", dstFormat, 0);
    av_opt_set_int(context, "src_range", swsRange(src->range), 0);
    av_opt_set_int(context, "dst_range", swsRange(dst->range), 0);
    if (sws_init_context(context, nullptr, nullptr) < 0) {
        fk_log(FK_LOG_ERROR, "video_scaler_create: sws_init_context failed");
        video_scaler_destroy(scaler);
        return -2;
    }
    if (sws_setColorspaceDetails(context, coefficients(src->colorSpace), swsRange(src->range),
            coefficients(dst->colorSpace), swsRange(dst->range), 0, 1 << 16, 1 << 16)
        < 0)
        fk_log(FK_LOG_DEBUG, "video_scaler_create: sws_setColorspaceDetails failed, ignoring");

    *out = scaler;
    return 0;
}

void video_scaler_destroy(VideoScaler* scaler)
{
    if (!scaler)
        return;
    sws_freeContext(scaler->context);
    av_freep(&scaler->planes[0]);
    fk_free(scaler);
}

bool video_scaler_scale(VideoScaler* scaler, uint8_t* output[4], const uint32_t outputRowLengths[4],
    const uint8_t* const input[], const uint32_t inputRowLengths[])
{
    if (!scaler || !output || !outputRowLengths || !input || !inputRowLengths)
        return false;
    // libswscale reads four entries of each array; the caller's may hold only the planes its format has.
    const uint8_t* inputPlanes[4] = {};
    int inputStrides[4] = {};
    for (int plane = 0; plane < scaler->sourcePlanes; ++plane) {
        inputPlanes[plane] = input[plane];
        inputStrides[plane] = static_cast<int>(inputRowLengths[plane]);
    }
    const int rows = sws_scale(scaler->context, inputPlanes, inputStrides, 0, scaler->sourceHeight,
        scaler->planes, scaler->rowLengths);
    if (rows < 1) {
        fk_log(FK_LOG_ERROR, "video_scaler_scale: sws_scale failed: %d", rows);
        return false;
    }
    for (int plane = 0; plane < 4; ++plane) {
        if (!scaler->planes[plane] || !scaler->planeHeights[plane] || !output[plane])
            continue;
        copyPlane(output[plane], static_cast<int32_t>(outputRowLengths[plane]), scaler->planes[plane],
            scaler->rowLengths[plane], scaler->planeHeights[plane]);
    }
    return true;
}
}
