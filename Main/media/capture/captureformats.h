#pragma once

// Format codes of media types: classification, the penalty of the closest-type search, the sink's
// subtype for a requested output format and the wave formats of the encoded devices. Pure functions.

#include "media/capture/dshowcapture.h"

namespace DShow {

// The format of a video media type; false for other major types and for video types whose subtype and
// FourCC are both unknown. An RGB24 type reports XRGB.
bool GetMediaTypeVFormat(const AM_MEDIA_TYPE& mt, VideoFormat& format);

// 0 for planar YUV, 5 for packed YUV, 10 for MJPEG, 15 for every other format.
int64_t FormatPenalty(VideoFormat format);

// The subtype the sink expects for an output format; other formats keep the device type's subtype.
GUID SinkSubtype(VideoFormat format, const GUID& deviceSubtype);

// The wave-format tag of an audio format, and its media subtype; false for an unknown format.
bool AudioFormatTag(AudioFormat format, uint16_t& tag);
GUID AudioFormatSubtype(uint16_t tag);

} // namespace DShow
