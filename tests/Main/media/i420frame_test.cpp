// The frame's buffer layout, its alpha fill and its release.
#include "media/i420frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(I420Frame, LayoutOfEvenAndOddHeights)
{
    const struct {
        uint32_t strideY, strideU, strideV, strideA, width, height;
        uint32_t size, offsetU, offsetV, offsetA;
    } cases[] = {
        // Odd height: the chroma planes get (5 + 1) / 2 = 3 rows.
        { 8, 4, 4, 8, 6, 5, 104, 40, 52, 64 },
        { 16, 8, 8, 16, 16, 4, 160, 64, 80, 96 },
        // Padded strides that differ per plane.
        { 12, 8, 6, 12, 10, 6, 186, 72, 96, 114 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        EXPECT_EQ(
            I420Frame::bufferSize(c.strideY, c.strideU, c.strideV, c.strideA, c.width, c.height), c.size);
        I420Frame frame(c.strideY, c.strideU, c.strideV, c.strideA, c.width, c.height);
        ASSERT_NE(frame.data, nullptr);
        EXPECT_EQ(frame.dataY(), frame.data);
        EXPECT_EQ(frame.dataU() - frame.data, c.offsetU);
        EXPECT_EQ(frame.dataV() - frame.data, c.offsetV);
        EXPECT_EQ(frame.dataA() - frame.data, c.offsetA);
        EXPECT_EQ(frame.rotation, 0);
        EXPECT_EQ(frame.strideY(), c.strideY);
        EXPECT_EQ(frame.strideU(), c.strideU);
        EXPECT_EQ(frame.strideV(), c.strideV);
        // The whole buffer is writable (AddressSanitizer checks the last byte).
        std::memset(frame.data, 0, c.size);
    }
}

TEST(I420Frame, CreateFillsExactlyTheAlphaPlane)
{
    I420FramePtr frame = I420Frame::create(8, 4, 4, 6, 5);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->strideA, 8u);
    EXPECT_EQ(frame->width, 6u);
    EXPECT_EQ(frame->height, 5u);
    // The alpha plane ends where the 104-byte buffer ends, so a longer fill would reach past it (and
    // AddressSanitizer would stop the test); a shorter one leaves a byte below 255.
    EXPECT_EQ(frame->dataA() + 8 * 5, frame->data + 104);
    for (uint32_t i = 0; i < 8 * 5; ++i)
        EXPECT_EQ(frame->dataA()[i], 255) << i;
}

TEST(I420Frame, ReleaseRunsOnceAndAnEmptyReleaseFreesNothing)
{
    int releases = 0;
    std::vector<uint8_t> buffer(I420Frame::bufferSize(4, 2, 2, 4, 4, 2));
    {
        I420FramePtr frame = I420Frame::create(buffer.data(), 4, 2, 2, 4, 4, 2, [&releases] { ++releases; });
        I420FramePtr second = frame;
        frame.reset();
        EXPECT_EQ(releases, 0);
    }
    EXPECT_EQ(releases, 1);

    // The caller's buffer stays usable after a frame without release went away.
    {
        I420FramePtr frame = I420Frame::create(buffer.data(), 4, 2, 2, 4, 4, 2, nullptr);
        EXPECT_EQ(frame->dataU(), buffer.data() + 8);
    }
    buffer.assign(buffer.size(), 7);
    EXPECT_EQ(buffer.back(), 7);

    VideoFrame blank;
    EXPECT_EQ(blank.data, nullptr);
    EXPECT_EQ(blank.width, 0u);
    EXPECT_EQ(blank.height, 0u);
}

TEST(I420Frame, CreateRefusesASizeBeyondThirtyTwoBits)
{
    // (65536 + 65536) * 65536 wraps to 0 in 32 bits: without the check the alpha fill would run through
    // a buffer far smaller than the planes.
    EXPECT_FALSE(I420Frame::create(65536, 32768, 32768, 65536, 65536));
    EXPECT_FALSE(I420Frame::create(0xffffffffu, 1, 1, 2, 2));

    I420Frame owning(65536, 32768, 32768, 65536, 65536, 65536);
    EXPECT_EQ(owning.data, nullptr);
    EXPECT_EQ(owning.width, 0u);
    EXPECT_EQ(owning.height, 0u);
}
