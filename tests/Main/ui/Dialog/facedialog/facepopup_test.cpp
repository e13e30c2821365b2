#include "ui/Dialog/facepopup.h"

#include <gtest/gtest.h>

namespace {

TEST(FacePopup, PlacesTheBottomEdgeOnThePointInsideTheScreen)
{
    const QSize picker(180, 27);
    const QRect primary(0, 0, 1920, 1080);
    const QRect left(-1920, 0, 1920, 1080);
    const QRect right(1920, 0, 1920, 1080);
    const QRect above(0, -1080, 1920, 1080);
    const struct {
        const char* name;
        QPoint point;
        QPoint offset;
        QSize size;
        QRect screen;
        QPoint expected;
    } cases[] = {
        { "above the anchor", { 500, 500 }, {}, picker, primary, { 500, 473 } },
        { "offsets move it", { 500, 500 }, { 10, -5 }, picker, primary, { 510, 468 } },
        { "anchor near the top", { 500, 10 }, {}, picker, primary, { 500, 0 } },
        { "past the right edge", { 1800, 500 }, {}, picker, primary, { 1740, 473 } },
        { "past the bottom edge", { 500, 1000 }, { 0, 100 }, picker, primary, { 500, 1053 } },
        { "left of the origin stays there", { -1000, 500 }, {}, picker, left, { -1000, 473 } },
        { "left screen, right edge", { -100, 500 }, {}, picker, left, { -180, 473 } },
        { "left screen, left edge", { -1950, 500 }, {}, picker, left, { -1920, 473 } },
        { "right screen, right edge", { 3800, 500 }, {}, picker, right, { 3660, 473 } },
        { "right screen, near the top", { 2000, 10 }, {}, picker, right, { 2000, 0 } },
        { "screen above the origin, its top", { 500, -1070 }, {}, picker, above, { 500, -1080 } },
        { "larger than the screen keeps its corner on it", { 150, 150 }, {}, { 300, 300 },
            { 100, 100, 200, 200 }, { 100, 100 } },
        { "without a screen nothing is clamped", { -10, 5 }, {}, picker, QRect(), { -10, -22 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(facepopup::popupPosition(c.point, c.offset, c.size, c.screen), c.expected);
    }
}

} // namespace
