#pragma once

// The libavcodec functions the program calls, through a copy of the library opened the first time one of
// them is called. Each behaves as its libavcodec namesake; when the library cannot be opened, the finders
// give null, the others an error code (AVERROR(ENOSYS)) or nothing, and one line on standard error says why.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

namespace codecload {

// Whether libavcodec is open (it is opened now if it was not yet); otherwise `error` gets the reason.
bool available(std::string* error = nullptr);

const AVCodec* findDecoder(AVCodecID id);
const AVCodec* findEncoder(AVCodecID id);
const AVCodec* findEncoderByName(const char* name);
AVCodecContext* allocContext(const AVCodec* codec);
void freeContext(AVCodecContext** context);
int open(AVCodecContext* context, const AVCodec* codec, AVDictionary** options);
int sendPacket(AVCodecContext* context, const AVPacket* packet);
int receiveFrame(AVCodecContext* context, AVFrame* frame);
int sendFrame(AVCodecContext* context, const AVFrame* frame);
int receivePacket(AVCodecContext* context, AVPacket* packet);
AVPacket* allocPacket();
void freePacket(AVPacket** packet);
void unrefPacket(AVPacket* packet);

} // namespace codecload
