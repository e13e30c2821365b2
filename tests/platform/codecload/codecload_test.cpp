// libavcodec opened on first use: not mapped before, working after.
#include <codecload/avcodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool codecLibraryMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libavcodec.so") != std::string::npos;
}

TEST(CodecLoad, OpensTheLibraryAtTheFirstUseAndCodesWithIt)
{
    EXPECT_FALSE(codecLibraryMapped()) << "libavcodec came with the program";

    std::string error;
    ASSERT_TRUE(codecload::available(&error)) << error;
    EXPECT_TRUE(codecLibraryMapped());

    // One grey 16x16 picture encoded to JPEG and decoded again.
    const AVCodec* encoder = codecload::findEncoder(AV_CODEC_ID_MJPEG);
    ASSERT_NE(encoder, nullptr);
    AVCodecContext* encoding = codecload::allocContext(encoder);
    ASSERT_NE(encoding, nullptr);
    encoding->width = 16;
    encoding->height = 16;
    encoding->pix_fmt = AV_PIX_FMT_YUVJ420P;
    encoding->time_base = AVRational { 1, 25 };
    ASSERT_EQ(codecload::open(encoding, encoder, nullptr), 0);

    AVFrame* picture = av_frame_alloc();
    ASSERT_NE(picture, nullptr);
    picture->width = 16;
    picture->height = 16;
    picture->format = AV_PIX_FMT_YUVJ420P;
    ASSERT_EQ(av_frame_get_buffer(picture, 0), 0);
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? 16 : 8;
        for (int row = 0; row < rows; ++row)
            std::fill_n(picture->data[plane] + row * picture->linesize[plane], rows, uint8_t(128));
    }
    AVPacket* packet = codecload::allocPacket();
    ASSERT_NE(packet, nullptr);
    ASSERT_EQ(codecload::sendFrame(encoding, picture), 0);
    ASSERT_EQ(codecload::receivePacket(encoding, packet), 0);
    EXPECT_GT(packet->size, 0);

    const AVCodec* decoder = codecload::findDecoder(AV_CODEC_ID_MJPEG);
    ASSERT_NE(decoder, nullptr);
    AVCodecContext* decoding = codecload::allocContext(decoder);
    ASSERT_EQ(codecload::open(decoding, decoder, nullptr), 0);
    AVFrame* decoded = av_frame_alloc();
    ASSERT_EQ(codecload::sendPacket(decoding, packet), 0);
    ASSERT_EQ(codecload::receiveFrame(decoding, decoded), 0);
    EXPECT_EQ(decoded->width, 16);
    EXPECT_EQ(decoded->height, 16);
    EXPECT_NEAR(decoded->data[0][0], 128, 2);

    codecload::unrefPacket(packet);
    codecload::freePacket(&packet);
    EXPECT_EQ(packet, nullptr);
    av_frame_free(&decoded);
    av_frame_free(&picture);
    codecload::freeContext(&decoding);
    codecload::freeContext(&encoding);
    EXPECT_EQ(encoding, nullptr);
}

TEST(CodecLoad, UnknownEncoderNameGivesNull)
{
    EXPECT_EQ(codecload::findEncoderByName("no-such-encoder"), nullptr);
}

} // namespace
