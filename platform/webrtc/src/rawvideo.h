#pragma once

// Raw pictures into GStreamer: the bounded source the encoders read from, and copies laid out as GStreamer's
// caps describe them. A raw video caps' layout rounds rows up (to 4 bytes for I420's chroma, NV12's luma,
// ...): a tightly packed picture under such caps is short, and an encoder reads past its end.

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zovwebrtc {
namespace rawvideo {

    // The encoders keep the latest few pictures only: a picture pushed while this many wait drops the oldest.
    constexpr int kQueuedPictures = 2;

    // An appsrc element description of that kind: live, stamped by the pipeline's clock, bounded.
    std::string sourceDescription(const std::string& name, const std::string& caps);

    // "video/x-raw,format=...,width=...,height=...,framerate=fps/1"
    std::string rawCaps(const char* format, int width, int height, int fps);

    // Where each plane of a tightly packed picture of info's format and size starts (rows without padding,
    // planes one after the other, chroma rounded up for odd sizes), and its stride; false when `length`
    // is short or the format has more than three planes.
    bool packedPlanes(const GstVideoInfo& info, const uint8_t* data, size_t length, const uint8_t* planes[3],
        int strides[3]);

    // A new buffer in info's layout (its strides and plane offsets) holding the picture whose planes start at
    // `planes` with `strides`; null when a stride is too small for a row.
    GstBuffer* copyPicture(const GstVideoInfo& info, const uint8_t* const planes[3], const int strides[3]);

} // namespace rawvideo
} // namespace zovwebrtc
