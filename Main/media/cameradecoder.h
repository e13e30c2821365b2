#pragma once

// Software decoding of the MJPEG and H.264 samples that cameras deliver: one libavcodec decoder for the
// current codec, a packet buffer that is reused and only grows, and the hand-over of each decoded picture as
// a framekit frame record. A decoder state belongs to one camera input and is used on one thread at a time
// (the streaming thread). Failures are reported by the return values; the caller logs them.

#include <framekit/framekit.h>

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/pixfmt.h>
}

struct AVCodecContext;
struct AVCodec;
struct AVFrame;

struct CameraDecoder {
    AVCodecContext* context = nullptr; // non-null: the state is valid
    const AVCodec* codec = nullptr;
    AVFrame* frame = nullptr; // allocated at the first decode
    uint8_t* packetBuffer = nullptr; // sample copy plus the zero padding FFmpeg reads past the end
    size_t packetBufferSize = 0;
};

// 0 on success, a negative number on failure (the state then stays empty).
int openCameraDecoder(CameraDecoder* state, AVCodecID codecId);
// Decodes one sample. True without a picture when the decoder needs more data; false on a decoding error or
// a picture of a format framekit cannot take. The record's planes stay owned by the decoder until the next
// decode. The time stamp goes in as the sample's and comes out as the picture's.
bool decodeCameraSample(CameraDecoder* state, const uint8_t* data, size_t size, int64_t* timestamp,
    fk_video_frame* frame, bool* gotPicture);
// Releases everything and zeroes the state; an empty state is left as it is.
void freeCameraDecoder(CameraDecoder* state);

// framekit's code for an FFmpeg pixel format; FK_VIDEO_FORMAT_NONE for formats framekit does not take.
int toFramekitFormat(AVPixelFormat format);

// Whether an H.264 Annex B sample starts a picture with an IDR slice: the first slice NAL unit decides.
bool isH264KeyFrame(const uint8_t* data, size_t size);
// The first position of a 00 00 01 start code with at least one byte after it; `end` when there is none.
const uint8_t* findAnnexBStartCode(const uint8_t* start, const uint8_t* end);
