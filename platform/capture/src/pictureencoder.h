#pragma once

// Codes 32-bit pictures as MJPEG or H.264 (libx264) with FFmpeg, one picture in, the coded bytes out.

#include <capture/guid.h>
#include <capture/hresult.h>

#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace capture {

class PictureEncoder {
public:
    // Null when the subtype is not a coded one or the encoder cannot be opened.
    static std::unique_ptr<PictureEncoder> create(
        const GUID& subtype, int width, int height, REFERENCE_TIME interval);
    ~PictureEncoder();

    // The coded picture, B, G, R, X pixels in; false when coding failed.
    bool encode(const uint8_t* bgrx, int64_t number, std::vector<uint8_t>& coded);

private:
    PictureEncoder() = default;

    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_fullRange = false;
};

bool isCodedSubtype(const GUID& subtype);

} // namespace capture
