// Format codes: classification of media types by subtype and FourCC, the search penalty, the sink's
// subtype and the audio wave tags.
#include "fakedevice.h"

#include "media/capture/captureformats.h"

#include <gtest/gtest.h>

namespace {

using DShow::VideoFormat;

const GUID kUnknownSubtype { 0x12345678, 0x1, 0x2, { 1, 2, 3, 4, 5, 6, 7, 8 } };

TEST(CaptureFormatsTest, ClassifiesMediaTypes)
{
    struct Row {
        const char* label;
        AM_MEDIA_TYPE type;
        bool known;
        VideoFormat format;
    };
    AM_MEDIA_TYPE audio = fakedevice::videoType(MEDIASUBTYPE_I420, 640, 480, 333333);
    audio.majortype = MEDIATYPE_Audio;
    AM_MEDIA_TYPE headerless;
    headerless.majortype = MEDIATYPE_Video;
    headerless.subtype = kUnknownSubtype;
    const Row rows[] = {
        { "RGB24 reports XRGB", fakedevice::videoType(MEDIASUBTYPE_RGB24, 640, 480, 1, BI_RGB), true,
            VideoFormat::XRGB },
        { "RGB32", fakedevice::videoType(MEDIASUBTYPE_RGB32, 640, 480, 1, BI_RGB), true, VideoFormat::XRGB },
        { "ARGB32", fakedevice::videoType(MEDIASUBTYPE_ARGB32, 640, 480, 1, BI_RGB), true,
            VideoFormat::ARGB },
        { "IYUV", fakedevice::videoType(MEDIASUBTYPE_IYUV, 640, 480, 1), true, VideoFormat::I420 },
        { "I420", fakedevice::videoType(MEDIASUBTYPE_I420, 640, 480, 1), true, VideoFormat::I420 },
        { "YV12", fakedevice::videoType(MEDIASUBTYPE_YV12, 640, 480, 1), true, VideoFormat::YV12 },
        { "NV12", fakedevice::videoType(MEDIASUBTYPE_NV12, 640, 480, 1), true, VideoFormat::NV12 },
        { "Y800", fakedevice::videoType(MEDIASUBTYPE_Y800, 640, 480, 1), true, VideoFormat::Y800 },
        { "P010", fakedevice::videoType(MEDIASUBTYPE_P010, 640, 480, 1), true, VideoFormat::P010 },
        { "YVYU", fakedevice::videoType(MEDIASUBTYPE_YVYU, 640, 480, 1), true, VideoFormat::YVYU },
        { "YUY2", fakedevice::videoType(MEDIASUBTYPE_YUY2, 640, 480, 1), true, VideoFormat::YUY2 },
        { "UYVY", fakedevice::videoType(MEDIASUBTYPE_UYVY, 640, 480, 1), true, VideoFormat::UYVY },
        { "H264", fakedevice::videoType(MEDIASUBTYPE_H264, 640, 480, 1), true, VideoFormat::H264 },
        { "MJPG", fakedevice::videoType(MEDIASUBTYPE_MJPG, 640, 480, 1), true, VideoFormat::MJPEG },
        // The subtype says nothing: the header's FourCC decides.
        { "FourCC HDYC", fakedevice::videoType(kUnknownSubtype, 640, 480, 1, MAKEFOURCC('H', 'D', 'Y', 'C')),
            true, VideoFormat::HDYC },
        { "FourCC RGB4", fakedevice::videoType(kUnknownSubtype, 640, 480, 1, MAKEFOURCC('R', 'G', 'B', '4')),
            true, VideoFormat::XRGB },
        { "FourCC MJPG", fakedevice::videoType(kUnknownSubtype, 640, 480, 1, MAKEFOURCC('M', 'J', 'P', 'G')),
            true, VideoFormat::MJPEG },
        { "FourCC in a VIDEOINFOHEADER2",
            fakedevice::videoType(
                kUnknownSubtype, 640, 480, 1, MAKEFOURCC('I', 'Y', 'U', 'V'), FORMAT_VideoInfo2),
            true, VideoFormat::I420 },
        { "unknown FourCC",
            fakedevice::videoType(kUnknownSubtype, 640, 480, 1, MAKEFOURCC('Z', '1', '6', ' ')), false,
            VideoFormat::Unknown },
        { "no header", headerless, false, VideoFormat::Unknown },
        { "not video", audio, false, VideoFormat::Unknown },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        VideoFormat format = VideoFormat::Any;
        EXPECT_EQ(DShow::GetMediaTypeVFormat(row.type, format), row.known);
        EXPECT_EQ(format, row.format);
    }
}

TEST(CaptureFormatsTest, PenaltiesBySortOfFormat)
{
    const std::pair<VideoFormat, int64_t> rows[] = {
        { VideoFormat::I420, 0 },
        { VideoFormat::P010, 0 },
        { VideoFormat::YUY2, 5 },
        { VideoFormat::HDYC, 5 },
        { VideoFormat::MJPEG, 10 },
        { VideoFormat::H264, 15 },
        { VideoFormat::XRGB, 15 },
        { VideoFormat::ARGB, 15 },
        { VideoFormat::Unknown, 15 },
    };
    for (const auto& [format, penalty] : rows)
        EXPECT_EQ(DShow::FormatPenalty(format), penalty) << static_cast<int>(format);
}

TEST(CaptureFormatsTest, SinkSubtypeForRequestedFormat)
{
    const GUID device = MEDIASUBTYPE_MJPG;
    const std::pair<VideoFormat, GUID> rows[] = {
        { VideoFormat::XRGB, MEDIASUBTYPE_RGB32 },
        { VideoFormat::ARGB, MEDIASUBTYPE_ARGB32 },
        { VideoFormat::RGB24, MEDIASUBTYPE_RGB24 },
        { VideoFormat::YVYU, MEDIASUBTYPE_YVYU },
        { VideoFormat::YUY2, MEDIASUBTYPE_YUY2 },
        { VideoFormat::UYVY, MEDIASUBTYPE_UYVY },
        { VideoFormat::I420, device },
        { VideoFormat::MJPEG, device },
        { VideoFormat::Any, device },
    };
    for (const auto& [format, subtype] : rows)
        EXPECT_EQ(DShow::SinkSubtype(format, device), subtype) << static_cast<int>(format);
}

TEST(CaptureFormatsTest, AudioWaveTags)
{
    const std::pair<DShow::AudioFormat, uint16_t> rows[] = {
        { DShow::AudioFormat::AAC, 0x00FF },
        { DShow::AudioFormat::AC3, 0x2000 },
        { DShow::AudioFormat::MPGA, 0x0050 },
    };
    for (const auto& [format, expected] : rows) {
        uint16_t tag = 0;
        ASSERT_TRUE(DShow::AudioFormatTag(format, tag));
        EXPECT_EQ(tag, expected);
    }
    uint16_t tag = 0;
    EXPECT_FALSE(DShow::AudioFormatTag(static_cast<DShow::AudioFormat>(1), tag));
    EXPECT_EQ(DShow::AudioFormatSubtype(0x00FF),
        (GUID { 0x000000FF, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 } }));
}

} // namespace
