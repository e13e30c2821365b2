// The renderers' arithmetic: rotation, aspect fit, stride scale, painter sizes and target rectangles.
#include "media/rendergeometry.h"

#include <gtest/gtest.h>

#include <climits>

TEST(RenderGeometry, RotationFoldsIntoOneTurn)
{
    const struct {
        int in, out;
    } cases[] = { { 0, 0 }, { 90, 90 }, { 450, 90 }, { -90, 270 }, { -450, 270 }, { 360, 0 }, { -360, 0 },
        { 359, 359 }, { -1, 359 }, { INT_MIN, 232 }, { INT_MAX, 127 } };
    for (const auto& c : cases)
        EXPECT_EQ(normalizedRotation(c.in), c.out) << c.in;
}

TEST(RenderGeometry, OpenGlPictureFitsKeepingItsAspectRatio)
{
    const struct {
        QSizeF picture;
        int rotation;
        QSizeF area, fitted;
    } cases[] = {
        // Turned a quarter, 640 x 480 becomes 480 x 640: 0.75 < 800 / 600, so the height fills.
        { { 640, 480 }, 90, { 800, 600 }, { 450, 600 } },
        { { 640, 480 }, 450, { 800, 600 }, { 450, 600 } },
        { { 640, 480 }, -90, { 800, 600 }, { 450, 600 } },
        { { 640, 480 }, 0, { 800, 600 }, { 800, 600 } },
        { { 640, 480 }, 180, { 1000, 600 }, { 800, 600 } },
        { { 1920, 1080 }, 0, { 800, 600 }, { 800, 450 } },
        { { 0, 480 }, 0, { 800, 600 }, { 0, 0 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        const QSizeF fitted = fittedPictureSize(c.picture, c.rotation, c.area);
        EXPECT_DOUBLE_EQ(fitted.width(), c.fitted.width());
        EXPECT_DOUBLE_EQ(fitted.height(), c.fitted.height());
    }
}

TEST(RenderGeometry, StrideScaleCropsThePadding)
{
    EXPECT_FLOAT_EQ(lumaStrideScale(1200, 1280), 0.9375f);
    EXPECT_FLOAT_EQ(lumaStrideScale(1280, 1280), 1.0f);
    EXPECT_FLOAT_EQ(lumaStrideScale(1280, 1024), 1.0f);
    EXPECT_FLOAT_EQ(chromaStrideScale(1200, 640), 0.9375f);
    EXPECT_FLOAT_EQ(chromaStrideScale(1280, 640), 1.0f);
    EXPECT_FLOAT_EQ(chromaStrideScale(96, 51), 48.0f / 51.0f);
}

TEST(RenderGeometry, PainterRotationRoundsTheTurnedSize)
{
    const struct {
        uint32_t width, height;
        int rotation;
        QSize size;
    } cases[] = {
        { 1280, 721, 90, { 720, 1280 } }, { 1280, 721, 270, { 720, 1280 } },
        { 1280, 721, 180, { 1280, 720 } }, { 1283, 721, 180, { 1280, 720 } }, { 1283, 721, 0, { 1283, 721 } },
        { 1283, 721, 360, { 1283, 721 } }, { 641, 7, 90, {} }, // 7 rounds down to 0 columns
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.rotation);
        EXPECT_EQ(painterPictureSize(c.width, c.height, c.rotation), c.size);
    }
}

TEST(RenderGeometry, PainterTargetIsCentredAndFitted)
{
    const struct {
        QSize image, widget;
        QRect target;
    } cases[] = {
        { { 1280, 720 }, { 800, 600 }, { 0, 75, 800, 450 } },
        { { 720, 1280 }, { 800, 600 }, { 231, 0, 337, 600 } },
        { { 800, 600 }, { 800, 600 }, { 0, 0, 800, 600 } },
        { { 96, 64 }, { 301, 200 }, { 0, 0, 300, 200 } },
        // No image (before the first frame) or no area: nothing to draw, and no division by zero.
        { {}, { 800, 600 }, {} },
        { { 1280, 720 }, { 0, 0 }, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.image.width() << "x" << c.image.height());
        EXPECT_EQ(painterTargetRect(c.image, c.widget), c.target);
    }
}
