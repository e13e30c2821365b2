#include "pictureencoder.h"

#include <capture/guid.h>

#include <codecload/avcodec.h>

extern "C" {
#include <libavutil/opt.h>
}
#include <libyuv/convert_from_argb.h>

namespace capture {

bool isCodedSubtype(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_MJPG || subtype == MEDIASUBTYPE_H264;
}

std::unique_ptr<PictureEncoder> PictureEncoder::create(
    const GUID& subtype, int width, int height, REFERENCE_TIME interval)
{
    const AVCodec* codec = nullptr;
    if (subtype == MEDIASUBTYPE_MJPG)
        codec = codecload::findEncoder(AV_CODEC_ID_MJPEG);
    else if (subtype == MEDIASUBTYPE_H264)
        codec = codecload::findEncoderByName("libx264");
    if (!codec)
        return nullptr;

    std::unique_ptr<PictureEncoder> encoder(new PictureEncoder);
    encoder->m_fullRange = subtype == MEDIASUBTYPE_MJPG;
    AVCodecContext* context = encoder->m_context = codecload::allocContext(codec);
    if (!context)
        return nullptr;
    context->width = width;
    context->height = height;
    context->time_base = { static_cast<int>(interval), 10000000 };
    context->framerate = { 10000000, static_cast<int>(interval) };
    context->pix_fmt = encoder->m_fullRange ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    context->gop_size = 30;
    context->max_b_frames = 0;
    if (encoder->m_fullRange) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * 4;
    } else {
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "x264-params", "log=-1", 0);
    }
    if (codecload::open(context, codec, nullptr) < 0)
        return nullptr;

    encoder->m_frame = av_frame_alloc();
    encoder->m_packet = codecload::allocPacket();
    if (!encoder->m_frame || !encoder->m_packet)
        return nullptr;
    encoder->m_frame->width = width;
    encoder->m_frame->height = height;
    encoder->m_frame->format = context->pix_fmt;
    if (av_frame_get_buffer(encoder->m_frame, 0) < 0)
        return nullptr;
    return encoder;
}

PictureEncoder::~PictureEncoder()
{
    codecload::freePacket(&m_packet);
    av_frame_free(&m_frame);
    codecload::freeContext(&m_context);
}

bool PictureEncoder::encode(const uint8_t* bgrx, int64_t number, std::vector<uint8_t>& coded)
{
    coded.clear();
    if (av_frame_make_writable(m_frame) < 0)
        return false;
    const int width = m_frame->width, height = m_frame->height;
    auto convert = m_fullRange ? libyuv::ARGBToJ420 : libyuv::ARGBToI420;
    convert(bgrx, width * 4, m_frame->data[0], m_frame->linesize[0], m_frame->data[1], m_frame->linesize[1],
        m_frame->data[2], m_frame->linesize[2], width, height);
    m_frame->pts = number;
    if (codecload::sendFrame(m_context, m_frame) < 0)
        return false;
    for (;;) {
        const int result = codecload::receivePacket(m_context, m_packet);
        if (result == AVERROR(EAGAIN))
            return true;
        if (result < 0)
            return false;
        coded.insert(coded.end(), m_packet->data, m_packet->data + m_packet->size);
        codecload::unrefPacket(m_packet);
    }
}

} // namespace capture
