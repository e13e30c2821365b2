#include "win/framelesshelper.h"
#include "win/nativeeventfilter.h"
#include "win/resizeinterface.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace frameless;

namespace {

// Answers fixed values and records the order of the questions.
class ScriptedInterface : public ResizeInterface {
public:
    bool left = false, top = false, right = false, bottom = false, caption = false;
    std::string asked;
    int sizingFlags = -1;

    bool isOnTopEdge(QPoint) override { return ask('T', top); }
    bool isOnBottomEdge(QPoint) override { return ask('B', bottom); }
    bool isOnLeftEdge(QPoint) override { return ask('L', left); }
    bool isOnRightEdge(QPoint) override { return ask('R', right); }
    bool isOnCaption(QPoint) override { return ask('C', caption); }
    void onSizing(int flags, long* top, long*, long*, long* right) override
    {
        sizingFlags = flags;
        *top += 1;
        *right -= 2;
    }

private:
    bool ask(char what, bool answer)
    {
        asked += what;
        return answer;
    }
};

struct HitCase {
    bool left, top, right, bottom, caption;
    int expected;
    const char* asked;
};

TEST(FramelessHitTest, AnswersByRuleOrderAskingEachEdgeOnce)
{
    const HitCase cases[] = {
        { true, true, false, false, false, HTTOPLEFT, "LTRB" },
        { true, false, false, true, false, HTBOTTOMLEFT, "LTRB" },
        { false, true, true, false, false, HTTOPRIGHT, "LTRB" },
        { false, false, true, true, false, HTBOTTOMRIGHT, "LTRB" },
        // Left before right, top before bottom.
        { true, true, true, false, false, HTTOPLEFT, "LTRB" },
        { true, true, true, true, true, HTTOPLEFT, "LTRB" },
        { true, false, true, false, false, HTLEFT, "LTRB" },
        { false, true, false, true, false, HTTOP, "LTRB" },
        { true, false, false, false, true, HTLEFT, "LTRB" },
        { false, true, false, false, false, HTTOP, "LTRB" },
        { false, false, true, false, false, HTRIGHT, "LTRB" },
        { false, false, false, true, false, HTBOTTOM, "LTRB" },
        // The caption is asked only when no edge holds.
        { false, false, false, false, true, HTCAPTION, "LTRBC" },
        { false, false, false, false, false, HTCLIENT, "LTRBC" },
    };
    for (const HitCase& c : cases) {
        ScriptedInterface iface;
        iface.left = c.left, iface.top = c.top, iface.right = c.right, iface.bottom = c.bottom;
        iface.caption = c.caption;
        FramelessHelper helper(nullptr, &iface);
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(helper.hitTest(3, -4), c.expected);
        EXPECT_EQ(iface.asked, c.asked);
    }
}

TEST(FramelessEdges, SizingEdgeTable)
{
    const struct {
        int edge;
        int flags;
        int hit;
    } cases[] = {
        { 0, 0, 0 },
        { WMSZ_LEFT, 4, HTLEFT },
        { WMSZ_RIGHT, 8, HTRIGHT },
        { WMSZ_TOP, 1, HTTOP },
        { WMSZ_TOPLEFT, 5, HTTOPLEFT },
        { WMSZ_TOPRIGHT, 9, HTTOPRIGHT },
        { WMSZ_BOTTOM, 2, HTBOTTOM },
        { WMSZ_BOTTOMLEFT, 6, HTBOTTOMLEFT },
        { WMSZ_BOTTOMRIGHT, 10, HTBOTTOMRIGHT },
        { 9, 0, 0 },
        { -1, 0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edge);
        EXPECT_EQ(sizingEdgeFlags(c.edge), c.flags);
        if (c.hit != 0) {
            EXPECT_EQ(sizingEdgeForHit(c.hit), c.edge);
        }

        ScriptedInterface iface;
        FramelessHelper helper(nullptr, &iface);
        QRect rect(10, 20, 100, 50);
        EXPECT_TRUE(helper.sizing(c.edge, &rect));
        EXPECT_EQ(iface.sizingFlags, c.flags == 0 ? -1 : c.flags);
        EXPECT_EQ(rect, c.flags == 0 ? QRect(10, 20, 100, 50) : QRect(10, 21, 98, 49));
    }
    EXPECT_EQ(sizingEdgeForHit(HTCAPTION), 0);
    EXPECT_EQ(sizingEdgeForHit(HTCLIENT), 0);
    EXPECT_FALSE(FramelessHelper(nullptr, nullptr).sizing(WMSZ_LEFT, nullptr));
}

TEST(FramelessEdges, ResizedRectKeepsOppositeEdgesAndLimits)
{
    const QRect start(100, 100, 200, 150);
    const QSize min(120, 100), max(400, 300);
    const struct {
        int flags;
        QPoint delta;
        QRect expected;
    } cases[] = {
        { ResizeInterface::RightEdge, { 30, 9 }, { 100, 100, 230, 150 } },
        { ResizeInterface::LeftEdge, { -20, 9 }, { 80, 100, 220, 150 } },
        { ResizeInterface::LeftEdge, { 150, 0 }, { 180, 100, 120, 150 } },
        { ResizeInterface::TopEdge | ResizeInterface::LeftEdge, { 10, 10 }, { 110, 110, 190, 140 } },
        { ResizeInterface::BottomEdge | ResizeInterface::RightEdge, { 500, 500 }, { 100, 100, 400, 300 } },
        { ResizeInterface::TopEdge, { 0, 100 }, { 100, 150, 200, 100 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(resizedRect(start, c.flags, c.delta, min, max), c.expected);
    }
}

// A frameless window with 5-pixel resize borders, a 30-pixel caption and a close button in the caption.
class FramelessWindow : public QWidget, public ResizeInterface {
public:
    explicit FramelessWindow(bool frameless)
    {
        if (frameless)
            setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        helper = new FramelessHelper(this, this);
        closeButton = new QPushButton(QStringLiteral("x"), this);
        closeButton->setGeometry(260, 2, 26, 26);
        setGeometry(200, 150, 300, 200);
    }
    bool isOnTopEdge(QPoint p) override { return local(p).y() < 5; }
    bool isOnBottomEdge(QPoint p) override { return local(p).y() >= height() - 5; }
    bool isOnLeftEdge(QPoint p) override { return local(p).x() < 5; }
    bool isOnRightEdge(QPoint p) override { return local(p).x() >= width() - 5; }
    bool isOnCaption(QPoint p) override { return local(p).y() < 30; }
    void onSizing(int, long*, long*, long*, long*) override { }

    void showAndWait()
    {
        show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(this));
    }

    FramelessHelper* helper;
    QPushButton* closeButton;

private:
    QPoint local(QPoint global) const { return mapFromGlobal(global); }
};

TEST(FramelessWindowTest, ManualDragMovesByMouseDelta)
{
    FramelessWindow window(true);
    window.showAndWait();
    QWindow* handle = window.windowHandle();
    ASSERT_EQ(NativeEventFilter::helper(handle), window.helper);
    const QPoint start = window.pos();

    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(100, 15));
    QTest::mouseMove(handle, QPoint(130, 40));
    EXPECT_EQ(window.pos(), start + QPoint(30, 25));
    // Local positions follow the moving window; the drag follows the mouse on the screen.
    const QPoint back = handle->mapFromGlobal(start + QPoint(105, 35));
    QTest::mouseMove(handle, back);
    EXPECT_EQ(window.pos(), start + QPoint(5, 20));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, back);

    // After the release, moving the mouse over the caption moves nothing.
    const QPoint settled = window.pos();
    QTest::mouseMove(handle, QPoint(150, 20));
    EXPECT_EQ(window.pos(), settled);

    // A press in the client area is the widget's own.
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(handle, QPoint(140, 140));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(140, 140));
    EXPECT_EQ(window.pos(), settled);
}

TEST(FramelessWindowTest, PressOnTitleButtonStillClicksIt)
{
    FramelessWindow window(true);
    window.showAndWait();
    QSignalSpy clicked(window.closeButton, &QPushButton::clicked);
    const QPoint start = window.pos();
    const QPoint onButton = window.closeButton->geometry().center();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, onButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(window.pos(), start);
}

TEST(FramelessWindowTest, EdgeDragResizesAndHoverShowsEdgeCursor)
{
    FramelessWindow window(true);
    window.setMinimumSize(150, 100);
    window.showAndWait();
    QWindow* handle = window.windowHandle();
    const QRect start = window.geometry();

    QTest::mouseMove(handle, QPoint(298, 100));
    EXPECT_EQ(window.cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(handle, QPoint(2, 2));
    EXPECT_EQ(window.cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(handle, QPoint(150, 100));
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(298, 100));
    QTest::mouseMove(handle, QPoint(338, 100));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(338, 100));
    EXPECT_EQ(window.geometry(), QRect(start.topLeft(), QSize(340, 200)));

    // Dragging the left edge far right stops at the minimum width with the right edge in place.
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(1, 100));
    QTest::mouseMove(handle, QPoint(301, 100));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(301, 100));
    EXPECT_EQ(window.geometry(), QRect(start.left() + 190, start.top(), 150, 200));
}

TEST(FramelessWindowTest, WindowNotFramelessAtConstructionIsNeverHelped)
{
    FramelessWindow window(false);
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(200, 150, 300, 200);
    window.showAndWait();
    EXPECT_EQ(NativeEventFilter::helper(window.windowHandle()), nullptr);
    EXPECT_EQ(window.helper->window(), nullptr);

    const QPoint start = window.pos();
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(100, 15));
    QTest::mouseMove(window.windowHandle(), QPoint(140, 45));
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, QPoint(140, 45));
    EXPECT_EQ(window.pos(), start);
}

TEST(FramelessWindowTest, FirstRegisteredHelperKeepsTheWindowUntilItIsDestroyed)
{
    FramelessWindow window(true);
    auto* second = new FramelessHelper(&window, &window);
    window.showAndWait();
    QWindow* handle = window.windowHandle();
    FramelessHelper* winner = NativeEventFilter::helper(handle);
    ASSERT_TRUE(winner == window.helper || winner == second);
    FramelessHelper* loser = winner == second ? window.helper : second;

    NativeEventFilter::setHelper(handle, loser);
    EXPECT_EQ(NativeEventFilter::helper(handle), winner);
    // The helper that lost the registration gives up nothing when it goes.
    delete loser;
    EXPECT_EQ(NativeEventFilter::helper(handle), winner);

    delete winner;
    EXPECT_EQ(NativeEventFilter::helper(handle), nullptr);
    const QPoint start = window.pos();
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(100, 15));
    QTest::mouseMove(handle, QPoint(140, 45));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(140, 45));
    EXPECT_EQ(window.pos(), start);
}

TEST(FramelessWindowTest, DestroyedWindowLeavesNoRoute)
{
    auto window = std::make_unique<FramelessWindow>(true);
    window->showAndWait();
    QWindow* handle = window->windowHandle();
    ASSERT_NE(NativeEventFilter::helper(handle), nullptr);
    window.reset();

    // A new window may get the old id; it must not reach the dead helper.
    FramelessWindow next(false);
    next.showAndWait();
    EXPECT_EQ(NativeEventFilter::helper(next.windowHandle()), nullptr);
}

} // namespace
