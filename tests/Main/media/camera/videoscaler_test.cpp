// The exported video scaler: unsupported formats and null arguments, plane heights, whole-plane and
// row-by-row copies into the caller's buffers, range and colour space, and an odd height.
#include "media/videoscaler.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int kBgra = 7, kI420 = 1;

struct Bgra {
    uint8_t b, g, r;
};

std::vector<uint8_t> solidBgra(int width, int height, Bgra colour)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = colour.b, pixels[i + 1] = colour.g, pixels[i + 2] = colour.r, pixels[i + 3] = 255;
    }
    return pixels;
}

// A scaler that frees itself.
struct Scaler {
    VideoScaler* scaler = nullptr;
    ~Scaler() { video_scaler_destroy(scaler); }
};

// The caller's I420 picture, rows of the given lengths, every byte 0x33 beforehand.
struct Picture {
    Picture(int height, std::array<uint32_t, 3> rowLengths)
        : rows(rowLengths)
    {
        const int chromaHeight = (height + 1) / 2;
        for (int plane = 0; plane < 3; ++plane)
            planes[plane].assign(static_cast<size_t>(rows[plane]) * (plane ? chromaHeight : height), 0x33);
    }
    bool scaleFrom(VideoScaler* scaler, const std::vector<uint8_t>& bgra, uint32_t bgraRow)
    {
        uint8_t* output[4] = { planes[0].data(), planes[1].data(), planes[2].data(), nullptr };
        const uint32_t lengths[4] = { rows[0], rows[1], rows[2], 0 };
        const uint8_t* input[1] = { bgra.data() };
        const uint32_t inputRows[1] = { bgraRow };
        return video_scaler_scale(scaler, output, lengths, input, inputRows);
    }
    uint8_t at(int plane, int x, int y) const
    {
        return planes[plane][static_cast<size_t>(y) * rows[plane] + x];
    }

    std::array<uint32_t, 3> rows;
    std::array<std::vector<uint8_t>, 3> planes;
};

TEST(VideoScaler, RefusesWhatItCannotDo)
{
    const ScaleDescription good { kBgra, 64, 32, 0, 0 };
    for (const int format : { 0, 16, 22, -1 }) {
        SCOPED_TRACE(format);
        const ScaleDescription bad { format, 64, 32, 0, 0 };
        auto* out = reinterpret_cast<VideoScaler*>(0x1);
        EXPECT_EQ(video_scaler_create(&out, &bad, &good, 0), -1);
        EXPECT_EQ(video_scaler_create(&out, &good, &bad, 0), -1);
        EXPECT_EQ(out, reinterpret_cast<VideoScaler*>(0x1));
    }
    VideoScaler* out = nullptr;
    EXPECT_EQ(video_scaler_create(nullptr, &good, &good, 0), -2);
    EXPECT_EQ(video_scaler_create(&out, nullptr, &good, 0), -2);
    EXPECT_EQ(video_scaler_create(&out, &good, nullptr, 0), -2);
    const ScaleDescription empty { kI420, 0, 32, 0, 0 };
    EXPECT_EQ(video_scaler_create(&out, &empty, &good, 0), -2);
    EXPECT_EQ(out, nullptr);

    video_scaler_destroy(nullptr);
    uint8_t* planes[4] = {};
    const uint32_t rows[4] = {};
    EXPECT_FALSE(video_scaler_scale(nullptr, planes, rows, planes, rows));
}

TEST(VideoScaler, EveryScaleTypeSetsUpBothWays)
{
    const ScaleDescription large { kBgra, 128, 96, 0, 1 };
    const ScaleDescription small { kI420, 64, 48, 0, 1 };
    for (int type = -1; type <= 5; ++type) {
        SCOPED_TRACE(type);
        Scaler down, up;
        EXPECT_EQ(video_scaler_create(&down.scaler, &small, &large, type), 0);
        EXPECT_EQ(video_scaler_create(&up.scaler, &large, &small, type), 0);
    }
}

TEST(VideoScaler, HalvesA720pPictureIntoEitherRowLength)
{
    const ScaleDescription src { kBgra, 1280, 720, 0, 1 };
    const ScaleDescription dst { kI420, 640, 360, 0, 1 };
    Scaler s;
    ASSERT_EQ(video_scaler_create(&s.scaler, &dst, &src, 3), 0);
    EXPECT_EQ(s.scaler->planeHeights[0], 360);
    EXPECT_EQ(s.scaler->planeHeights[1], 180);
    EXPECT_EQ(s.scaler->planeHeights[2], 180);
    EXPECT_EQ(s.scaler->planeHeights[3], 0);

    // A picture of four colours, one per quarter of the rows, so that every row counts.
    std::vector<uint8_t> bgra = solidBgra(1280, 720, { 0, 0, 0 });
    const Bgra bands[4] = { { 0, 0, 255 }, { 0, 255, 0 }, { 255, 0, 0 }, { 255, 255, 255 } };
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280; ++x) {
            uint8_t* p = &bgra[(static_cast<size_t>(y) * 1280 + x) * 4];
            const Bgra& c = bands[y / 180];
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
    }

    Picture tight(360, { 640, 320, 320 });
    ASSERT_TRUE(tight.scaleFrom(s.scaler, bgra, 1280 * 4));
    Picture padded(360, { 704, 352, 352 });
    ASSERT_TRUE(padded.scaleFrom(s.scaler, bgra, 1280 * 4));

    for (int plane = 0; plane < 3; ++plane) {
        SCOPED_TRACE(plane);
        const int width = plane ? 320 : 640;
        const int height = plane ? 180 : 360;
        for (int y = 0; y < height; ++y) {
            ASSERT_EQ(std::memcmp(&tight.planes[plane][static_cast<size_t>(y) * width],
                          &padded.planes[plane][static_cast<size_t>(y) * padded.rows[plane]], width),
                0)
                << "row " << y;
            for (uint32_t x = width; x < padded.rows[plane]; ++x)
                ASSERT_EQ(padded.at(plane, static_cast<int>(x), y), 0x33) << "padding of row " << y;
        }
    }
    // Every byte of the tight picture was written: the last row is white, the first red.
    EXPECT_NEAR(tight.at(0, 639, 359), 235, 2);
    EXPECT_NEAR(tight.at(0, 0, 0), 82, 2);
}

TEST(VideoScaler, RangeAndColourSpaceAreApplied)
{
    const struct {
        const char* name;
        int range;
        int colorSpace;
        Bgra colour;
        int y;
    } cases[] = {
        { "white, limited", 1, 1, { 255, 255, 255 }, 235 },
        { "white, full", 2, 1, { 255, 255, 255 }, 255 },
        { "black, limited", 0, 1, { 0, 0, 0 }, 16 },
        { "black, full", 2, 1, { 0, 0, 0 }, 0 },
        { "red, BT.601", 1, 1, { 0, 0, 255 }, 82 },
        { "red, BT.709", 1, 2, { 0, 0, 255 }, 63 },
        { "red, BT.2020", 1, 5, { 0, 0, 255 }, 74 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScaleDescription src { kBgra, 64, 32, 2, c.colorSpace };
        const ScaleDescription dst { kI420, 64, 32, c.range, c.colorSpace };
        Scaler s;
        ASSERT_EQ(video_scaler_create(&s.scaler, &dst, &src, 1), 0);
        Picture picture(32, { 64, 32, 32 });
        ASSERT_TRUE(picture.scaleFrom(s.scaler, solidBgra(64, 32, c.colour), 64 * 4));
        EXPECT_NEAR(picture.at(0, 10, 10), c.y, 2);
    }
}

TEST(VideoScaler, OddHeightKeepsTheLastChromaRow)
{
    const ScaleDescription src { kBgra, 64, 35, 0, 1 };
    const ScaleDescription dst { kI420, 64, 35, 0, 1 };
    Scaler s;
    ASSERT_EQ(video_scaler_create(&s.scaler, &dst, &src, 1), 0);
    EXPECT_EQ(s.scaler->planeHeights[1], 18);
    std::vector<uint8_t> bgra = solidBgra(64, 35, { 255, 255, 255 });
    for (int x = 0; x < 64; ++x)
        bgra[(34 * 64 + x) * 4 + 1] = bgra[(34 * 64 + x) * 4 + 2] = 0; // a blue last row
    Picture picture(35, { 64, 32, 32 });
    ASSERT_TRUE(picture.scaleFrom(s.scaler, bgra, 64 * 4));
    EXPECT_NEAR(picture.at(1, 5, 17), 240, 2); // blue's U, not the untouched 0x33 or white's 128
    EXPECT_NEAR(picture.at(1, 5, 16), 128, 2);
}

} // namespace
