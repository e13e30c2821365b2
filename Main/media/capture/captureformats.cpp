#include "media/capture/captureformats.h"

namespace DShow {
namespace {

    struct SubtypeFormat {
        GUID subtype;
        VideoFormat format;
    };

    constexpr SubtypeFormat kSubtypeFormats[] = {
        { MEDIASUBTYPE_RGB24, VideoFormat::XRGB },
        { MEDIASUBTYPE_RGB32, VideoFormat::XRGB },
        { MEDIASUBTYPE_ARGB32, VideoFormat::ARGB },
        { MEDIASUBTYPE_I420, VideoFormat::I420 },
        { MEDIASUBTYPE_IYUV, VideoFormat::I420 },
        { MEDIASUBTYPE_YV12, VideoFormat::YV12 },
        { MEDIASUBTYPE_NV12, VideoFormat::NV12 },
        { MEDIASUBTYPE_Y800, VideoFormat::Y800 },
        { MEDIASUBTYPE_P010, VideoFormat::P010 },
        { MEDIASUBTYPE_YVYU, VideoFormat::YVYU },
        { MEDIASUBTYPE_YUY2, VideoFormat::YUY2 },
        { MEDIASUBTYPE_UYVY, VideoFormat::UYVY },
        { MEDIASUBTYPE_H264, VideoFormat::H264 },
        { MEDIASUBTYPE_MJPG, VideoFormat::MJPEG },
    };

    struct FourCCFormat {
        uint32_t fourcc;
        VideoFormat format;
    };

    constexpr FourCCFormat kFourCCFormats[] = {
        { MAKEFOURCC('H', '2', '6', '4'), VideoFormat::H264 },
        { MAKEFOURCC('N', 'V', '1', '2'), VideoFormat::NV12 },
        { MAKEFOURCC('Y', '8', '0', '0'), VideoFormat::Y800 },
        { MAKEFOURCC('P', '0', '1', '0'), VideoFormat::P010 },
        { MAKEFOURCC('I', '4', '2', '0'), VideoFormat::I420 },
        { MAKEFOURCC('I', 'Y', 'U', 'V'), VideoFormat::I420 },
        { MAKEFOURCC('Y', 'V', '1', '2'), VideoFormat::YV12 },
        { MAKEFOURCC('R', 'G', 'B', '2'), VideoFormat::XRGB },
        { MAKEFOURCC('R', 'G', 'B', '4'), VideoFormat::XRGB },
        { MAKEFOURCC('Y', 'U', 'Y', '2'), VideoFormat::YUY2 },
        { MAKEFOURCC('M', 'J', 'P', 'G'), VideoFormat::MJPEG },
        { MAKEFOURCC('A', 'R', 'G', 'B'), VideoFormat::ARGB },
        { MAKEFOURCC('H', 'D', 'Y', 'C'), VideoFormat::HDYC },
        { MAKEFOURCC('Y', 'V', 'Y', 'U'), VideoFormat::YVYU },
        { MAKEFOURCC('U', 'Y', 'V', 'Y'), VideoFormat::UYVY },
    };

    struct SinkFormat {
        VideoFormat format;
        GUID subtype;
    };

    constexpr SinkFormat kSinkSubtypes[] = {
        { VideoFormat::XRGB, MEDIASUBTYPE_RGB32 },
        { VideoFormat::ARGB, MEDIASUBTYPE_ARGB32 },
        { VideoFormat::RGB24, MEDIASUBTYPE_RGB24 },
        { VideoFormat::YVYU, MEDIASUBTYPE_YVYU },
        { VideoFormat::YUY2, MEDIASUBTYPE_YUY2 },
        { VideoFormat::UYVY, MEDIASUBTYPE_UYVY },
    };

    struct AudioTag {
        AudioFormat format;
        uint16_t tag;
    };

    constexpr AudioTag kAudioTags[] = {
        { AudioFormat::AAC, 0x00FF },
        { AudioFormat::AC3, 0x2000 },
        { AudioFormat::MPGA, 0x0050 },
    };

} // namespace

bool GetMediaTypeVFormat(const AM_MEDIA_TYPE& mt, VideoFormat& format)
{
    format = VideoFormat::Unknown;
    if (mt.majortype != MEDIATYPE_Video)
        return false;
    for (const SubtypeFormat& entry : kSubtypeFormats) {
        if (entry.subtype == mt.subtype) {
            format = entry.format;
            return true;
        }
    }
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(mt);
    if (!header)
        return false;
    for (const FourCCFormat& entry : kFourCCFormats) {
        if (entry.fourcc == header->biCompression) {
            format = entry.format;
            return true;
        }
    }
    return false;
}

int64_t FormatPenalty(VideoFormat format)
{
    const int code = static_cast<int>(format);
    if (code >= 200 && code < 300)
        return 0;
    if (code >= 300 && code < 400)
        return 5;
    if (format == VideoFormat::MJPEG)
        return 10;
    return 15;
}

GUID SinkSubtype(VideoFormat format, const GUID& deviceSubtype)
{
    for (const SinkFormat& entry : kSinkSubtypes) {
        if (entry.format == format)
            return entry.subtype;
    }
    return deviceSubtype;
}

bool AudioFormatTag(AudioFormat format, uint16_t& tag)
{
    for (const AudioTag& entry : kAudioTags) {
        if (entry.format == format) {
            tag = entry.tag;
            return true;
        }
    }
    return false;
}

GUID AudioFormatSubtype(uint16_t tag) { return FourCCGuid(tag); }

} // namespace DShow
