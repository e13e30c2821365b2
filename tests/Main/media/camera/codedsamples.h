#pragma once

// Coded camera samples made at test time with libavcodec: MJPEG (full-range YUVJ) or H.264 (libx264,
// limited range) pictures of a left half in one colour and a right half in another.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}
#include <libyuv/convert_from_argb.h>

#include <cstdint>
#include <vector>

namespace codedsamples {

struct Bgr {
    uint8_t b, g, r;
};

inline std::vector<uint8_t> halvesBgrx(int width, int height, Bgr left, Bgr right)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgr c = x < width / 2 ? left : right;
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255;
        }
    }
    return pixels;
}

// `count` coded pictures of the same B, G, R, X picture; each entry one sample as a camera delivers it.
inline std::vector<std::vector<uint8_t>> encodeBgrx(AVCodecID codecId, AVPixelFormat format, int width,
    int height, int count, const std::vector<uint8_t>& bgrx)
{
    std::vector<std::vector<uint8_t>> samples;
    const AVCodec* codec = codecId == AV_CODEC_ID_H264 ? avcodec_find_encoder_by_name("libx264")
                                                       : avcodec_find_encoder(codecId);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context)
        return samples;
    context->width = width;
    context->height = height;
    context->time_base = { 1, 30 };
    context->framerate = { 30, 1 };
    context->pix_fmt = format;
    context->gop_size = 30;
    context->max_b_frames = 0;
    if (codecId == AV_CODEC_ID_MJPEG) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * 2;
    } else {
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "x264-params", "log=-1", 0);
    }
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (avcodec_open2(context, codec, nullptr) == 0) {
        frame->width = width;
        frame->height = height;
        frame->format = format;
        av_frame_get_buffer(frame, 0);
        const bool full = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P;
        const bool is422 = format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUV422P;
        for (int i = 0; i < count; ++i) {
            av_frame_make_writable(frame);
            if (is422)
                (full ? libyuv::ARGBToJ422 : libyuv::ARGBToI422)(bgrx.data(), width * 4, frame->data[0],
                    frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                    frame->linesize[2], width, height);
            else
                (full ? libyuv::ARGBToJ420 : libyuv::ARGBToI420)(bgrx.data(), width * 4, frame->data[0],
                    frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                    frame->linesize[2], width, height);
            frame->pts = i;
            if (avcodec_send_frame(context, frame) < 0)
                break;
            while (avcodec_receive_packet(context, packet) == 0) {
                samples.emplace_back(packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return samples;
}

// The bytes of an H.264 sample before its IDR slice's start code (the parameter sets and SEI); the whole
// sample when it has no IDR slice.
inline size_t bytesBeforeIdr(const std::vector<uint8_t>& sample)
{
    for (size_t i = 0; i + 3 < sample.size(); ++i) {
        if (sample[i] == 0 && sample[i + 1] == 0 && sample[i + 2] == 1 && (sample[i + 3] & 0x1f) == 5)
            return i;
    }
    return sample.size();
}

inline std::vector<std::vector<uint8_t>> encode(
    AVCodecID codecId, AVPixelFormat format, int width, int height, int count, Bgr left, Bgr right)
{
    return encodeBgrx(codecId, format, width, height, count, halvesBgrx(width, height, left, right));
}

} // namespace codedsamples
