// The selector and the frame where one overlay pixel is two physical ones. Runs as its own CTest entry with
// QT_SCALE_FACTOR=2; in any other environment the cases skip themselves.
#include "fake_desktop.h"
#include "ui/Dialog/areaitem.h"
#include "ui/Dialog/selector.h"
#include "ui/Dialog/selectwidget.h"

#include <QGuiApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class RatioTwo : public testing::Test {
protected:
    void SetUp() override
    {
        if (qApp->devicePixelRatio() != 2.0)
            GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    }
    FakeDesktop desktop;
};

TEST_F(RatioTwo, OverlayIsHalfThePictureAndReportsDoubleSizes)
{
    Selector selector;
    selector.start(QRectF(FakeDesktop::kX + 200, 100, 800, 600));
    selector.showSelector();
    ASSERT_EQ(selector.ratio(), 2.0);
    EXPECT_EQ(selector.overlaySize(), QSize(800, 450));
    EXPECT_EQ(selector.geometry(), QRect(FakeDesktop::kX / 2, 0, 800, 450));
    EXPECT_EQ(selector.selection(), QRectF(100, 50, 400, 300));

    // Painted at the screen's ratio, the selection shows the picture's own pixels, the rest dimmed.
    const QImage painted = selector.grab().toImage();
    ASSERT_EQ(painted.size(), QSize(1600, 900));
    const QImage shot = ScreenGrabber::grabVirtualDesktop().toImage();
    EXPECT_EQ(painted.pixel(600, 500), shot.pixel(600, 500));
    EXPECT_NE(painted.pixel(100, 800), shot.pixel(100, 800));

    QSignalSpy ok(&selector, &Selector::sg_ok);
    selector.slot_size(300, 200);
    selector.slot_ok();
    ASSERT_EQ(ok.count(), 1);
    EXPECT_EQ(ok.at(0).at(0).toRect(), QRect(FakeDesktop::kX + 200, 100, 600, 400));
}

TEST_F(RatioTwo, FrameGeometryIsTheAreaInLogicalPixels)
{
    SelectWidget frame;
    frame.setRect(QRectF(-1800, 100, 400, 300), 0);
    EXPECT_EQ(frame.geometry(), QRect(-905, 45, 210, 160));
}

} // namespace
