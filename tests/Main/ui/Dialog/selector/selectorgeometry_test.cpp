// The selector's rectangle arithmetic, called directly.
#include "ui/Dialog/selectorgeometry.h"

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRectF& r, std::ostream* os)
{
    *os << "QRectF(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << "QPoint(" << p.x() << ", " << p.y() << ")"; }
QT_END_NAMESPACE

namespace {

using namespace selectorgeometry;

const QRectF kSelection(100, 200, 400, 300); // right 500, bottom 500

TEST(SelectorGeometry, HitTestZonesAndCursors)
{
    const struct {
        QPointF point;
        int direction;
        Qt::CursorShape cursor;
    } cases[] = {
        { { 97, 350 }, Left, Qt::SizeHorCursor },
        { { 94, 350 }, Outside, Qt::ArrowCursor },
        { { 95, 350 }, Outside, Qt::ArrowCursor }, // the grown rectangle is open
        { { 101, 201 }, TopLeft, Qt::SizeFDiagCursor },
        { { 300, 198 }, Top, Qt::SizeVerCursor },
        { { 503, 197 }, TopRight, Qt::SizeBDiagCursor },
        { { 499, 350 }, Right, Qt::SizeHorCursor },
        { { 504, 504 }, BottomRight, Qt::SizeFDiagCursor },
        { { 300, 496 }, Bottom, Qt::SizeVerCursor },
        { { 96, 499 }, BottomLeft, Qt::SizeBDiagCursor },
        { { 300, 350 }, Inside, Qt::OpenHandCursor },
        { { 105, 205 }, Inside, Qt::OpenHandCursor },
        { { 300, 506 }, Outside, Qt::ArrowCursor },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x() << "," << c.point.y());
        EXPECT_EQ(hitTest(kSelection, c.point), c.direction);
        EXPECT_EQ(cursorFor(c.direction), c.cursor);
    }
    EXPECT_EQ(cursorFor(-1), Qt::ArrowCursor);
}

TEST(SelectorGeometry, DragStepMovesTheGrabbedPart)
{
    const QPointF d(10, 20);
    const struct {
        int direction;
        QRectF expected;
    } cases[] = {
        { TopLeft, QRectF(110, 220, 390, 280) },
        { Top, QRectF(100, 220, 400, 280) },
        { TopRight, QRectF(100, 220, 410, 280) },
        { Right, QRectF(100, 200, 410, 300) },
        { BottomRight, QRectF(100, 200, 410, 320) },
        { Bottom, QRectF(100, 200, 400, 320) },
        { BottomLeft, QRectF(110, 200, 390, 320) },
        { Left, QRectF(110, 200, 390, 300) },
        { Inside, QRectF(110, 220, 400, 300) },
        { Outside, kSelection },
        { 42, kSelection },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.direction);
        EXPECT_EQ(dragStep(kSelection, c.direction, d), c.expected);
    }
}

TEST(SelectorGeometry, LimitKeepsInsideAndGrowsOnlyWhatLeaves)
{
    const QRectF bounds(0, 0, 1600, 900);
    const struct {
        const char* name;
        QRectF candidate;
        QRectF expected;
    } cases[] = {
        { "small inside stays", QRectF(250, 250, 50, 50), QRectF(250, 250, 50, 50) },
        { "inverted inside is normalised", QRectF(300, 300, -50, -40), QRectF(250, 260, 50, 40) },
        { "past bottom-right moves back", QRectF(1500, 800, 250, 250), QRectF(1350, 650, 250, 250) },
        { "small past bottom-right grows", QRectF(1540, 840, 70, 70), QRectF(1500, 820, 100, 80) },
        { "past top-left moves in", QRectF(-30, -20, 200, 100), QRectF(0, 0, 200, 100) },
        { "wider than the bounds", QRectF(-10, 10, 2000, 100), QRectF(0, 10, 1600, 100) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QRectF r = limited(c.candidate, bounds);
        EXPECT_EQ(r, c.expected);
        EXPECT_TRUE(bounds.contains(r));
    }
}

TEST(SelectorGeometry, HandlesAreCentredClockwise)
{
    const auto squares = handles(kSelection);
    const QPointF centres[] = { { 100, 200 }, { 300, 200 }, { 500, 200 }, { 500, 350 }, { 500, 500 },
        { 300, 500 }, { 100, 500 }, { 100, 350 } };
    for (size_t i = 0; i < squares.size(); ++i) {
        EXPECT_EQ(squares[i].size(), QSizeF(4, 4));
        EXPECT_EQ(squares[i].center(), centres[i]) << i;
    }
}

TEST(SelectorGeometry, MenuPlacement)
{
    const QSize menu(433, 40);
    const struct {
        const char* name;
        QRectF selection;
        int overlayHeight;
        QPoint expected;
    } cases[] = {
        { "below the selection", QRectF(100, 100, 600, 300), 900, QPoint(700 - 433 - 4, 404) },
        { "inside above the bottom edge", QRectF(100, 100, 600, 790), 900, QPoint(263, 890 - 44) },
        { "just fits below", QRectF(100, 100, 600, 756), 900, QPoint(263, 860) },
        { "under the top of a selection at the overlay's top", QRectF(0, 0, 500, 30), 60, QPoint(63, 4) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(menuPosition(c.selection, menu, c.overlayHeight), c.expected);
    }
}

TEST(SelectorGeometry, ResizedMovesBackInsideWithoutMinimum)
{
    const QSize overlay(1600, 900);
    EXPECT_EQ(resized(QRectF(100, 100, 400, 300), 50, 40, overlay), QRectF(100, 100, 50, 40));
    EXPECT_EQ(resized(QRectF(1500, 800, 50, 50), 300, 200, overlay), QRectF(1300, 700, 300, 200));
    // Less than a whole pixel beyond the edge stays where it is.
    EXPECT_EQ(resized(QRectF(1300.5, 0, 10, 10), 300, 200, overlay), QRectF(1300.5, 0, 300, 200));
}

TEST(SelectorGeometry, PhysicalAreaAndStartSelectionAreInverse)
{
    const QRect desktop(-1920, 0, 3520, 1080);
    EXPECT_EQ(physicalArea(QRectF(0, 10, 640, 480), 1.0, desktop), QRect(-1920, 10, 640, 480));
    EXPECT_EQ(physicalArea(QRectF(0, 10, 640, 480), 2.0, desktop), QRect(-1920, 20, 1280, 960));
    EXPECT_EQ(physicalArea(QRectF(10.7, 0, 100.9, 50), 1.5, desktop), QRect(-1904, 0, 151, 75));

    const QRectF fallback(1, 2, 3, 4);
    EXPECT_EQ(startSelection(QRectF(), desktop, 2.0, fallback), fallback);
    EXPECT_EQ(startSelection(QRectF(-1920, 20, 1280, 960), desktop, 2.0, fallback), QRectF(0, 10, 640, 480));
    EXPECT_EQ(startSelection(QRectF(-1900, 30, 640, 480), desktop, 1.0, fallback), QRectF(20, 30, 640, 480));
}

TEST(SelectorGeometry, InformationBox)
{
    EXPECT_EQ(infoBox(QRectF(100, 200, 50, 50), 1.0, 1600), QRect(100, 128, 200, 72));
    EXPECT_EQ(infoBox(QRectF(1500, 50, 50, 50), 1.0, 1600), QRect(1400, 50, 200, 72));
    EXPECT_EQ(infoBox(QRectF(100, 200, 50, 50), 1.5, 1600), QRect(100, 92, 300, 108));

    const QString pattern = QStringLiteral(" x:%1,y:%2 [%3x%4] \n 鼠标双击, 确定选区!");
    EXPECT_EQ(infoText(QRectF(5, 120, 1280, 720), pattern),
        QStringLiteral(" x:  5,y:120 [1280x720] \n 鼠标双击, 确定选区!"));
    EXPECT_EQ(infoText(QRectF(1.5, 0, 99.5, 3), pattern),
        QStringLiteral(" x:1.5,y:  0 [99.5x3] \n 鼠标双击, 确定选区!"));
}

TEST(SelectorGeometry, PresetsThatFitTheDesktop)
{
    const QStringList sizes { QStringLiteral("自定义"), "720x480", "960x640", "1280x720", "1920x1080", "bad",
        "1x2x3" };
    EXPECT_EQ(fittingPresets(sizes, QSize(1600, 900)),
        (QStringList { QStringLiteral("自定义"), "720x480", "960x640", "1280x720" }));
    EXPECT_EQ(fittingPresets(sizes, QSize(1920, 1080)).size(), 5);
    EXPECT_EQ(fittingPresets(sizes, QSize(700, 2000)), QStringList { QStringLiteral("自定义") });
}

TEST(SelectorGeometry, StyleSheetScaling)
{
    const QString sheet = QStringLiteral("a{min-width:433px;margin:8px;font-size:9pt;} b{width:6px}");
    EXPECT_EQ(scaledStyleSheet(sheet, 1.0), sheet);
    EXPECT_EQ(scaledStyleSheet(sheet, 1.25),
        QStringLiteral("a{min-width:541.25px;margin:10px;font-size:9pt;} b{width:6px}"));
    EXPECT_EQ(scaledStyleSheet(QStringLiteral("x:1px;2px;"), 2.0), QStringLiteral("x:2px;4px;"));
}

} // namespace
