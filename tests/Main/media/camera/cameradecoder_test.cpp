// The camera stream decoder: the H.264 key-frame test and start-code search, and decoding MJPEG and H.264
// samples made at test time into framekit records.
#include "codedsamples.h"

#include "media/cameradecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(CameraDecoderKeyFrame, FirstSliceDecides)
{
    const struct {
        const char* name;
        Bytes sample;
        bool key;
    } cases[] = {
        { "SPS then IDR", { 0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1f, 0, 0, 1, 0x65, 0x88, 0x84 }, true },
        { "SPS, PPS, SEI then IDR",
            { 0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xce, 0, 0, 1, 0x06, 0x05, 0, 0, 1, 0x65, 0x88 },
            true },
        { "non-IDR slice first", { 0, 0, 1, 0x41, 0x9a, 0x02 }, false },
        { "non-IDR before an IDR", { 0, 0, 1, 0x41, 0x9a, 0, 0, 1, 0x65, 0x88 }, false },
        { "no slice", { 0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xce }, false },
        { "IDR without start code", { 0x65, 0x88, 0x84, 0x00 }, false },
        { "start code at the very end", { 0x12, 0, 0, 1 }, false },
        { "start code then only zeros", { 0, 0, 1, 0, 0, 0, 0 }, false },
        { "empty", {}, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isH264KeyFrame(c.sample.data(), c.sample.size()), c.key);
    }
    EXPECT_FALSE(isH264KeyFrame(nullptr, 0));
}

const uint8_t* naiveStartCode(const uint8_t* start, const uint8_t* end)
{
    for (const uint8_t* p = start; end - p >= 4; ++p) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 1)
            return p;
    }
    return end;
}

TEST(CameraDecoderKeyFrame, StartCodeSearchMatchesANaiveScanAtEveryAlignment)
{
    // A start code placed at each offset of a zero-filled buffer, read from every start alignment and
    // with every end: covers the codes cut by the end and the zeros that look like a start.
    for (size_t at = 0; at < 24; ++at) {
        Bytes buffer(32, 0);
        buffer[at + 2] = 1;
        for (size_t from = 0; from < buffer.size(); ++from) {
            for (size_t to = from; to <= buffer.size(); ++to) {
                const uint8_t* start = buffer.data() + from;
                const uint8_t* end = buffer.data() + to;
                ASSERT_EQ(findAnnexBStartCode(start, end), naiveStartCode(start, end))
                    << "code at " << at << ", range " << from << ".." << to;
            }
        }
    }
    // Random bytes rich in zeros and ones.
    std::mt19937 random(29);
    Bytes noise(4096);
    for (auto& b : noise)
        b = static_cast<uint8_t>(random() % 3);
    for (size_t from = 0; from < 64; ++from) {
        const uint8_t* p = noise.data() + from;
        const uint8_t* end = noise.data() + noise.size();
        while (p != end) {
            const uint8_t* expected = naiveStartCode(p, end);
            ASSERT_EQ(findAnnexBStartCode(p, end), expected);
            p = expected == end ? end : expected + 1;
        }
    }
}

struct DecoderDeleter {
    void operator()(CameraDecoder* state) const
    {
        freeCameraDecoder(state);
        delete state;
    }
};
using Decoder = std::unique_ptr<CameraDecoder, DecoderDeleter>;

Decoder openDecoder(AVCodecID codec)
{
    Decoder state(new CameraDecoder);
    EXPECT_EQ(openCameraDecoder(state.get(), codec), 0);
    return state;
}

struct Colour {
    int b, g, r;
};

// The BGRA picture's colour at (x, y).
Colour colourAt(const fk_video_frame& frame, int x, int y)
{
    std::unique_ptr<uint8_t, decltype(&fk_free)> bgra(fk_video_frame_convert_to_bgra(&frame), fk_free);
    if (!bgra)
        return { -1, -1, -1 };
    const uint8_t* p = bgra.get() + (static_cast<size_t>(y) * frame.width + x) * 4;
    return { p[0], p[1], p[2] };
}

void expectNear(Colour seen, codedsamples::Bgr wanted, int tolerance)
{
    EXPECT_NEAR(seen.b, wanted.b, tolerance);
    EXPECT_NEAR(seen.g, wanted.g, tolerance);
    EXPECT_NEAR(seen.r, wanted.r, tolerance);
}

// Decodes the samples in turn until a picture comes out.
bool decodeUntilPicture(CameraDecoder* state, const std::vector<Bytes>& samples, fk_video_frame& frame)
{
    for (size_t i = 0; i < samples.size(); ++i) {
        frame = {};
        int64_t timestamp = static_cast<int64_t>(i) * 333333;
        bool gotPicture = false;
        if (!decodeCameraSample(state, samples[i].data(), samples[i].size(), &timestamp, &frame, &gotPicture))
            return false;
        if (gotPicture)
            return true;
    }
    return false;
}

TEST(CameraDecoder, PicturesKeepTheirFormatAndRange)
{
    constexpr codedsamples::Bgr black { 0, 0, 0 }, white { 255, 255, 255 };
    const struct {
        const char* name;
        AVCodecID codec;
        AVPixelFormat coded;
        int format;
        bool full;
    } cases[] = {
        { "MJPEG 4:2:0", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, FK_VIDEO_FORMAT_I420, true },
        { "MJPEG 4:2:2", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ422P, FK_VIDEO_FORMAT_I422, true },
        { "H.264", AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, FK_VIDEO_FORMAT_I420, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Frame threads hold the first pictures back: enough samples for every thread.
        const auto samples = codedsamples::encode(c.codec, c.coded, 64, 48, 40, black, white);
        ASSERT_FALSE(samples.empty());
        Decoder state = openDecoder(c.codec);
        fk_video_frame frame {};
        ASSERT_TRUE(decodeUntilPicture(state.get(), samples, frame));
        EXPECT_EQ(frame.format, c.format);
        EXPECT_EQ(frame.width, 64u);
        EXPECT_EQ(frame.height, 48u);
        EXPECT_EQ(frame.range == FK_VIDEO_RANGE_FULL, c.full);
        ASSERT_NE(frame.data[0], nullptr);
        ASSERT_NE(frame.data[2], nullptr);
        EXPECT_EQ(frame.data[3], nullptr);
        // Black and white survive the round trip unclipped, whichever range the camera coded in.
        expectNear(colourAt(frame, 8, 24), black, 3);
        expectNear(colourAt(frame, 56, 24), white, 3);
    }
}

TEST(CameraDecoder, PictureTimeStampComesBack)
{
    const auto samples = codedsamples::encode(
        AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, 64, 48, 1, { 10, 20, 200 }, { 200, 20, 10 });
    ASSERT_EQ(samples.size(), 1u);
    Decoder state = openDecoder(AV_CODEC_ID_MJPEG);
    fk_video_frame frame {};
    int64_t timestamp = 0;
    bool gotPicture = false;
    // Frame threads may hold the first pictures back; keep feeding the same sample.
    for (int i = 0; i < 32 && !gotPicture; ++i) {
        timestamp = 1000 + i;
        ASSERT_TRUE(decodeCameraSample(
            state.get(), samples[0].data(), samples[0].size(), &timestamp, &frame, &gotPicture));
    }
    ASSERT_TRUE(gotPicture);
    EXPECT_GE(timestamp, 1000);
    EXPECT_LT(timestamp, 1032);
}

TEST(CameraDecoder, ParameterSetsAloneGiveNoPicture)
{
    const auto samples = codedsamples::encode(
        AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, 64, 48, 1, { 0, 0, 0 }, { 255, 255, 255 });
    ASSERT_EQ(samples.size(), 1u);
    // The first sample cut before its IDR slice: SPS, PPS and SEI only.
    const Bytes& full = samples[0];
    const size_t cut = codedsamples::bytesBeforeIdr(full);
    ASSERT_LT(cut, full.size());
    Decoder state = openDecoder(AV_CODEC_ID_H264);
    fk_video_frame frame {};
    int64_t timestamp = 0;
    bool gotPicture = true;
    EXPECT_TRUE(decodeCameraSample(state.get(), full.data(), cut, &timestamp, &frame, &gotPicture));
    EXPECT_FALSE(gotPicture);
}

TEST(CameraDecoder, CorruptSampleFailsAndTheNextDecodes)
{
    const auto samples = codedsamples::encode(
        AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, 64, 48, 1, { 0, 0, 255 }, { 255, 0, 0 });
    ASSERT_EQ(samples.size(), 1u);
    Decoder state = openDecoder(AV_CODEC_ID_MJPEG);
    const Bytes corrupt(600, 0x5a);
    fk_video_frame frame {};
    int64_t timestamp = 0;
    bool gotPicture = true;
    EXPECT_FALSE(
        decodeCameraSample(state.get(), corrupt.data(), corrupt.size(), &timestamp, &frame, &gotPicture));
    EXPECT_FALSE(gotPicture);
    std::vector<Bytes> again(16, samples[0]);
    ASSERT_TRUE(decodeUntilPicture(state.get(), again, frame));
    expectNear(colourAt(frame, 8, 24), { 0, 0, 255 }, 8);
}

TEST(CameraDecoder, StatesThatCannotDecode)
{
    CameraDecoder state;
    EXPECT_LT(openCameraDecoder(&state, AV_CODEC_ID_NONE), 0);
    EXPECT_EQ(state.context, nullptr);
    fk_video_frame frame {};
    int64_t timestamp = 0;
    bool gotPicture = true;
    const uint8_t byte = 0;
    EXPECT_FALSE(decodeCameraSample(&state, &byte, 1, &timestamp, &frame, &gotPicture));
    EXPECT_FALSE(gotPicture);
    freeCameraDecoder(&state); // empty: nothing to release
    freeCameraDecoder(&state);
}

} // namespace
