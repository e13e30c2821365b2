// The mirror window: its resize bands, minimum sizes, pin menu, dragging, closing and close button.
#include "ui/part/mirrorwidget.h"

#include "global/menurunner.h"
#include "win/qssmanager.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

class MirrorWidgetTest : public testing::Test {
protected:
    void TearDown() override
    {
        setMenuRunner({});
        QssManager::setDpiScaleOverride(0);
    }

    void place(MirrorWidget& mirror)
    {
        mirror.setGeometry(100, 80, 400, 300);
        mirror.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mirror));
    }

    // Answers the next pin menu with its only action (or dismisses it) and keeps the offered text.
    void answerMenu(bool choose)
    {
        setMenuRunner([this, choose](QMenu& menu, QPoint) -> QAction* {
            offered = menu.actions().value(0) ? menu.actions().value(0)->text() : QString();
            return choose ? menu.actions().value(0) : nullptr;
        });
    }

    void openMenu(MirrorWidget& mirror)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(50, 50), mirror.mapToGlobal(QPoint(50, 50)));
        QApplication::sendEvent(&mirror, &event);
    }

    QString offered;
};

TEST_F(MirrorWidgetTest, ResizeBandsAreFourPixelsWide)
{
    MirrorWidget mirror;
    place(mirror);
    const int w = mirror.width();
    const int h = mirror.height();
    const struct {
        const char* edge;
        QPoint inside;
        bool hit;
    } cases[] = {
        { "left", { 3, 150 }, true },
        { "left", { 4, 150 }, false },
        { "right", { w - 3, 150 }, true },
        { "right", { w - 4, 150 }, false },
        { "top", { 200, 3 }, true },
        { "top", { 200, 4 }, false },
        { "bottom", { 200, h - 3 }, true },
        { "bottom", { 200, h - 4 }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edge) + " " + std::to_string(c.inside.x()) + "," + std::to_string(c.inside.y()));
        const QPoint global = mirror.mapToGlobal(c.inside);
        const QString edge = QString::fromLatin1(c.edge);
        const bool hit = edge == "left" ? mirror.isOnLeftEdge(global)
            : edge == "right"           ? mirror.isOnRightEdge(global)
            : edge == "top"             ? mirror.isOnTopEdge(global)
                                        : mirror.isOnBottomEdge(global);
        EXPECT_EQ(hit, c.hit);
    }
    // No caption: the window moves by dragging anywhere.
    EXPECT_FALSE(mirror.isOnCaption(mirror.mapToGlobal(QPoint(200, 10))));
}

TEST_F(MirrorWidgetTest, WindowIsNeverSmallerThanTheScaledMinimum)
{
    const struct {
        double scale;
        int side;
    } cases[] = { { 1.0, 160 }, { 1.25, 200 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        QssManager::setDpiScaleOverride(c.scale);
        MirrorWidget mirror;
        EXPECT_EQ(mirror.minimumSize(), QSize(c.side, c.side));
        mirror.resize(40, 40);
        EXPECT_EQ(mirror.size(), QSize(c.side, c.side));
    }
}

TEST(MirrorMinimumSize, KeepsThePictureAspectAndNeverDividesByZero)
{
    const struct {
        int width;
        int height;
        QSize expected;
    } cases[] = {
        { 1280, 720, { 160, 90 } },
        { 1920, 1080, { 160, 90 } },
        { 640, 480, { 160, 120 } },
        { 720, 1280, { 160, 284 } },
        { 1000, 333, { 160, 53 } },
        { 0, 0, { 160, 160 } },
        { 640, 0, { 160, 160 } },
        { 0, 480, { 160, 160 } },
        { -640, 480, { 160, 160 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(mirrorMinimumSize(c.width, c.height), c.expected);
    }
}

TEST_F(MirrorWidgetTest, PinMenuTogglesStayingOnTopAndKeepsTheWindowShown)
{
    MirrorWidget mirror;
    place(mirror);
    answerMenu(false);
    openMenu(mirror);
    EXPECT_EQ(offered, "窗口置顶");
    EXPECT_FALSE(mirror.isPinned());

    answerMenu(true);
    openMenu(mirror);
    EXPECT_TRUE(mirror.isPinned());
    EXPECT_TRUE(mirror.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(mirror.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(mirror.isVisible());

    openMenu(mirror);
    EXPECT_EQ(offered, "取消置顶");
    EXPECT_FALSE(mirror.isPinned());
    EXPECT_FALSE(mirror.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(mirror.isVisible());
}

TEST_F(MirrorWidgetTest, OnlyALeftDragMovesTheWindow)
{
    MirrorWidget mirror;
    place(mirror);
    auto drag = [&](Qt::MouseButton button) {
        const QPoint local(200, 150);
        const QPoint global = mirror.mapToGlobal(local);
        QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
        QApplication::sendEvent(&mirror, &press);
        QMouseEvent move(QEvent::MouseMove, local + QPoint(30, 20), global + QPoint(30, 20), Qt::NoButton, button,
            Qt::NoModifier);
        QApplication::sendEvent(&mirror, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, local + QPoint(30, 20), global + QPoint(30, 20), button,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&mirror, &release);
    };
    const QPoint start = mirror.pos();
    drag(Qt::RightButton);
    EXPECT_EQ(mirror.pos(), start);
    drag(Qt::LeftButton);
    EXPECT_EQ(mirror.pos(), start + QPoint(30, 20));
    // After the release, moving the mouse moves nothing.
    QMouseEvent move(QEvent::MouseMove, QPoint(10, 10), mirror.mapToGlobal(QPoint(10, 10)), Qt::NoButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&mirror, &move);
    EXPECT_EQ(mirror.pos(), start + QPoint(30, 20));
}

TEST_F(MirrorWidgetTest, EveryCloseEmitsClosedOnceAndOnlyHides)
{
    MirrorWidget mirror;
    QSignalSpy closed(&mirror, &MirrorWidget::closed);
    place(mirror);
    mirror.findChild<QPushButton*>("pushButton_mirror_close")->click();
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(mirror.isVisible());

    mirror.show();
    mirror.close();
    EXPECT_EQ(closed.size(), 2);
    EXPECT_FALSE(mirror.isVisible());
}

TEST_F(MirrorWidgetTest, CloseButtonShowsOnHoverAndSitsInTheTopRightCorner)
{
    const struct {
        double scale;
        QSize size;
    } cases[] = { { 1.0, { 400, 300 } }, { 1.0, { 250, 500 } }, { 1.5, { 480, 320 } } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        QssManager::setDpiScaleOverride(c.scale);
        MirrorWidget mirror;
        place(mirror);
        mirror.resize(c.size);
        auto* button = mirror.findChild<QPushButton*>("pushButton_mirror_close");
        QWidget* view = mirror.findChild<QWidget*>("widget_show");
        EXPECT_TRUE(button->isHidden());
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(&mirror, &enter);
        EXPECT_FALSE(button->isHidden());
        mirror.repaint();
        EXPECT_EQ(button->width(), int(20 * c.scale));
        EXPECT_EQ(button->pos(), QPoint(int(view->width() - button->width() - c.scale * 5), int(c.scale * 5)));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&mirror, &leave);
        EXPECT_TRUE(button->isHidden());
    }
}

} // namespace
