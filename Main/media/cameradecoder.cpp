#include "media/cameradecoder.h"

#include <codecload/avcodec.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// FFmpeg reads up to this many bytes past a packet's end; they must be zero.
constexpr size_t kPacketPadding = AV_INPUT_BUFFER_PADDING_SIZE;
static_assert(kPacketPadding == 64);

constexpr std::pair<AVPixelFormat, int> kFormats[] = {
    { AV_PIX_FMT_YUV420P, FK_VIDEO_FORMAT_I420 },
    { AV_PIX_FMT_YUVJ420P, FK_VIDEO_FORMAT_I420 },
    { AV_PIX_FMT_YUYV422, FK_VIDEO_FORMAT_YUY2 },
    { AV_PIX_FMT_YUV422P, FK_VIDEO_FORMAT_I422 },
    { AV_PIX_FMT_YUVJ422P, FK_VIDEO_FORMAT_I422 },
    { AV_PIX_FMT_UYVY422, FK_VIDEO_FORMAT_UYVY },
    { AV_PIX_FMT_NV12, FK_VIDEO_FORMAT_NV12 },
    { AV_PIX_FMT_RGBA, FK_VIDEO_FORMAT_RGBA },
    { AV_PIX_FMT_BGRA, FK_VIDEO_FORMAT_BGRA },
    { AV_PIX_FMT_YUV420P10LE, FK_VIDEO_FORMAT_I010 },
    { AV_PIX_FMT_YVYU422, FK_VIDEO_FORMAT_YVYU },
    { AV_PIX_FMT_BGR0, FK_VIDEO_FORMAT_BGRX },
    { AV_PIX_FMT_P010LE, FK_VIDEO_FORMAT_P010 },
};

// MJPEG decodes to the YUVJ formats, whose samples use the whole 0..255 range; H.264 says so in its VUI.
int rangeOf(const AVFrame* frame)
{
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P
        || frame->color_range == AVCOL_RANGE_JPEG)
        return FK_VIDEO_RANGE_FULL;
    if (frame->color_range == AVCOL_RANGE_MPEG)
        return FK_VIDEO_RANGE_PARTIAL;
    return FK_VIDEO_RANGE_DEFAULT;
}

bool growPacketBuffer(CameraDecoder* state, size_t size)
{
    if (size > SIZE_MAX - kPacketPadding)
        return false;
    const size_t wanted = size + kPacketPadding;
    if (state->packetBufferSize >= wanted)
        return true;
    auto* grown = static_cast<uint8_t*>(fk_realloc(state->packetBuffer, wanted));
    if (!grown)
        return false;
    state->packetBuffer = grown;
    state->packetBufferSize = wanted;
    return true;
}

// The start code found, moved one byte back over a zero that makes it a four-byte one.
const uint8_t* findStartCodeWithLeadingZero(const uint8_t* start, const uint8_t* end)
{
    const uint8_t* p = findAnnexBStartCode(start, end);
    if (p != end && p > start && p[-1] == 0)
        --p;
    return p;
}

} // namespace

int toFramekitFormat(AVPixelFormat format)
{
    for (const auto& [ffmpeg, framekit] : kFormats) {
        if (ffmpeg == format)
            return framekit;
    }
    return FK_VIDEO_FORMAT_NONE;
}

int openCameraDecoder(CameraDecoder* state, AVCodecID codecId)
{
    *state = {};
    const AVCodec* codec = codecload::findDecoder(codecId);
    if (!codec)
        return -1;
    AVCodecContext* context = codecload::allocContext(codec);
    if (!context)
        return AVERROR(ENOMEM);
    context->thread_count = 0;
    const int result = codecload::open(context, codec, nullptr);
    if (result < 0) {
        codecload::freeContext(&context);
        return result;
    }
#if FF_API_FLAG_TRUNCATED
    if (codec->capabilities & AV_CODEC_CAP_TRUNCATED)
        context->flags |= AV_CODEC_FLAG_TRUNCATED;
#endif
    state->context = context;
    state->codec = codec;
    return 0;
}

bool decodeCameraSample(CameraDecoder* state, const uint8_t* data, size_t size, int64_t* timestamp,
    fk_video_frame* frame, bool* gotPicture)
{
    *gotPicture = false;
    if (!state->context || size > INT_MAX || !growPacketBuffer(state, size))
        return false;
    std::memset(state->packetBuffer + size, 0, kPacketPadding);
    if (size)
        std::memcpy(state->packetBuffer, data, size);

    if (!state->frame && !(state->frame = av_frame_alloc()))
        return false;
    AVPacket* packet = codecload::allocPacket();
    if (!packet)
        return false;
    packet->data = state->packetBuffer;
    packet->size = static_cast<int>(size);
    packet->pts = *timestamp;
    if (state->codec->id == AV_CODEC_ID_H264 && isH264KeyFrame(data, size))
        packet->flags |= AV_PKT_FLAG_KEY;

    int result = codecload::sendPacket(state->context, packet);
    if (result == 0)
        result = codecload::receiveFrame(state->context, state->frame);
    codecload::freePacket(&packet);
    if (result == AVERROR_EOF || result == AVERROR(EAGAIN))
        return true;
    if (result < 0)
        return false;

    const AVFrame* picture = state->frame;
    for (size_t plane = 0; plane < FK_MAX_AV_PLANES; ++plane) {
        frame->data[plane] = picture->data[plane];
        frame->linesize[plane] = static_cast<uint32_t>(picture->linesize[plane]);
    }
    frame->format = toFramekitFormat(static_cast<AVPixelFormat>(picture->format));
    frame->range = rangeOf(picture);
    *timestamp = picture->pts;
    frame->width = static_cast<uint32_t>(picture->width);
    frame->height = static_cast<uint32_t>(picture->height);
    if (frame->format == FK_VIDEO_FORMAT_NONE)
        return false;
    *gotPicture = true;
    return true;
}

void freeCameraDecoder(CameraDecoder* state)
{
    av_frame_free(&state->frame);
    codecload::freeContext(&state->context);
    fk_free(state->packetBuffer);
    *state = {};
}

const uint8_t* findAnnexBStartCode(const uint8_t* start, const uint8_t* end)
{
    // A start code at p needs p + 3 < end, so its 01 byte lies at most at end - 2. Look for the 01 bytes
    // with memchr and check the two zeros before each.
    if (end - start < 4)
        return end;
    const uint8_t* p = start + 2;
    const uint8_t* const last = end - 2;
    while (p <= last) {
        const auto* one = static_cast<const uint8_t*>(std::memchr(p, 1, static_cast<size_t>(last - p + 1)));
        if (!one)
            return end;
        if (one[-1] == 0 && one[-2] == 0)
            return one - 2;
        p = one + 1;
    }
    return end;
}

bool isH264KeyFrame(const uint8_t* data, size_t size)
{
    if (!data)
        return false;
    const uint8_t* const end = data + size;
    const uint8_t* p = findStartCodeWithLeadingZero(data, end);
    for (;;) {
        while (p < end && *p == 0)
            ++p;
        if (p < end)
            ++p; // the 01 that ends the start code
        if (p >= end)
            return false;
        const int type = *p & 0x1f;
        if (type == 5 || type == 1)
            return type == 5;
        p = findStartCodeWithLeadingZero(p, end);
    }
}
