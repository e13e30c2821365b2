// The selector and the area frame on a real X server, with the real screen grab. Keeps one capture of the
// overlay and one of the frame as artefacts.
#include "ui/Dialog/areaitem.h"
#include "ui/Dialog/selector.h"
#include "ui/Dialog/selectwidget.h"
#include "win/screengrabber.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Four coloured quarters: a grab shows whether each one landed at its place.
class PatternWindow : public QWidget {
public:
    static constexpr QRgb kColors[4] = { 0xffd02020, 0xff20b020, 0xff2040e0, 0xffe0c000 };

    PatternWindow()
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int w = width() / 2;
        const int h = height() / 2;
        painter.fillRect(0, 0, w, h, QColor(kColors[0]));
        painter.fillRect(w, 0, width() - w, h, QColor(kColors[1]));
        painter.fillRect(0, h, w, height() - h, QColor(kColors[2]));
        painter.fillRect(w, h, width() - w, height() - h, QColor(kColors[3]));
    }
};

bool near(QRgb a, QRgb b, int tolerance = 3)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QRgb dimmed(QRgb pixel)
{
    // RGBA (30, 90, 30, 70) drawn over the picture.
    auto blend = [](int under, int over) { return (under * (255 - 70) + over * 70 + 127) / 255; };
    return qRgb(blend(qRed(pixel), 30), blend(qGreen(pixel), 90), blend(qBlue(pixel), 30));
}

QImage grabScreen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

class SelectorXvfb : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        pattern.setGeometry(200, 150, 400, 300);
        pattern.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pattern));
        // The pattern must have reached the screen before anything grabs it.
        ASSERT_TRUE(QTest::qWaitFor(
            [] { return near(grabScreen().pixel(210, 160), PatternWindow::kColors[0]); }, 5000));
    }

    PatternWindow pattern;
};

TEST_F(SelectorXvfb, FullShotHoldsTheScreenAtItsPlace)
{
    const QRect desktop = ScreenGrabber::virtualDesktop();
    EXPECT_EQ(desktop, QRect(0, 0, 1280, 800));
    const QImage shot = ScreenGrabber::grabVirtualDesktop().toImage();
    ASSERT_EQ(shot.size(), desktop.size());
    const QPoint quarters[] = { { 300, 225 }, { 500, 225 }, { 300, 375 }, { 500, 375 } };
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(near(shot.pixel(quarters[i]), PatternWindow::kColors[i])) << i;
    EXPECT_FALSE(near(shot.pixel(199, 149), PatternWindow::kColors[0]));
}

TEST_F(SelectorXvfb, OverlayDimsAllButTheSelection)
{
    const QImage shot = ScreenGrabber::grabVirtualDesktop().toImage();
    Selector selector;
    selector.start(QRectF(400, 100, 500, 400)); // over the right half of the pattern
    selector.showSelector();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&selector));
    const QPoint inside(450, 250); // green quarter, undimmed
    const QPoint outside(300, 225); // red quarter, dimmed
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return near(grabScreen().pixel(outside), dimmed(shot.pixel(outside))); }, 5000));
    const QImage screen = grabScreen();
    EXPECT_TRUE(screen.save(QStringLiteral(SCREENSHOT_DIR "/selector_overlay.png")));
    EXPECT_TRUE(near(screen.pixel(inside), shot.pixel(inside)));
    EXPECT_TRUE(near(screen.pixel(inside), PatternWindow::kColors[1]));
    EXPECT_TRUE(near(screen.pixel(outside), dimmed(PatternWindow::kColors[0])));
    EXPECT_TRUE(near(screen.pixel(20, 780), dimmed(shot.pixel(20, 780))));
    // The selection's outline is blue.
    EXPECT_GT(qBlue(screen.pixel(399, 300)), 200);
    EXPECT_LT(qRed(screen.pixel(399, 300)), 60);
}

TEST_F(SelectorXvfb, FrameOutlinesTheAreaWithoutCoveringIt)
{
    AreaItem item;
    item.setFrameInterval(100);
    AreaItem::setModalRunner([](QDialog&) { return 0; });
    item.setStartArea(QRect(250, 200, 300, 200));
    item.slot_delay_shot();
    ASSERT_NE(item.selector(), nullptr);
    item.selector()->slot_ok();
    AreaItem::setModalRunner({});
    SelectWidget* frame = item.frame();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    EXPECT_EQ(frame->geometry(), QRect(245, 195, 310, 210));

    const QRgb frameColor = qRgb(2, 160, 255);
    ASSERT_TRUE(QTest::qWaitFor([&] { return near(grabScreen().pixel(247, 197), frameColor); }, 5000));
    const QImage screen = grabScreen();
    EXPECT_TRUE(
        screen.copy(QRect(200, 150, 400, 300)).save(QStringLiteral(SCREENSHOT_DIR "/selector_frame.png")));
    // The bars in all four corners; the area itself shows the pattern beneath, not black.
    for (const QPoint& p : { QPoint(247, 197), QPoint(552, 197), QPoint(552, 402), QPoint(247, 402) })
        EXPECT_TRUE(near(screen.pixel(p), frameColor)) << p.x() << "," << p.y();
    const QPoint quarters[] = { { 300, 250 }, { 500, 250 }, { 300, 350 }, { 500, 350 } };
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(near(screen.pixel(quarters[i]), PatternWindow::kColors[i])) << i;
    // Between the dashes the pattern shows too.
    int dashed = 0;
    for (int x = 290; x < 510; ++x)
        dashed += near(screen.pixel(x, 199), frameColor) ? 1 : 0;
    EXPECT_GT(dashed, 40);
    EXPECT_LT(dashed, 180);
}

TEST_F(SelectorXvfb, TooSmallMessageOnScreen)
{
    AreaItem item;
    bool shown = false;
    AreaItem::setModalRunner([&](QDialog& box) {
        box.show();
        shown = QTest::qWaitForWindowExposed(&box);
        QCoreApplication::processEvents();
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(box.winId());
        EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/selector_too_small.png")));
        const QImage image = shot.toImage();
        // Not black: the message box's own background fills it.
        EXPECT_GT(qGray(image.pixel(image.width() / 2, 4)), 100);
        box.hide();
        return 0;
    });
    item.setStartArea(QRect(250, 200, 64, 63));
    item.slot_delay_shot();
    ASSERT_NE(item.selector(), nullptr);
    item.selector()->slot_ok();
    AreaItem::setModalRunner({});
    EXPECT_TRUE(shown);
    EXPECT_EQ(item.frame(), nullptr);
}

} // namespace
