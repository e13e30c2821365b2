// The viewer's full-screen window on a real X server with OpenGL: a colour-bar frame fills the screen with
// the tool bar shown. The capture is kept in the build folder (SCREENSHOT_DIR).
#include "ui/part/fullscreentoolform.h"
#include "ui/part/viewerfullscreenshowform.h"

#include "media/openglwidget.h"

#include "support/colourbars.h"

#include <libyuv/convert.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

I420FramePtr frameOf(const QImage& picture)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const uint32_t width = uint32_t(argb.width());
    const uint32_t height = uint32_t(argb.height());
    I420FramePtr frame = I420Frame::create(width, width / 2, width / 2, width, height);
    libyuv::ARGBToI420(argb.constBits(), argb.bytesPerLine(), frame->dataY(), int(frame->strideY()), frame->dataU(),
        int(frame->strideU()), frame->dataV(), int(frame->strideV()), int(width), int(height));
    return frame;
}

TEST(ViewerScreenshot, FullScreenFrameWithTheBar)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ViewerFullScreenShowForm form;
    ASSERT_NE(form.openGLRenderer(), nullptr) << "Xvfb offers GLX, so the OpenGL renderer is used";
    form.showFullScreen();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.showFrame(frameOf(colourbars::draw(1280, 720, 40)));
    QMouseEvent move(QEvent::MouseMove, QPoint(20, 20), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.toolOverlay(), &move);
    ASSERT_TRUE(form.toolOverlay()->findChild<QFrame*>(QStringLiteral("frame_bottom_bg"))->isVisible());

    // Software GL under the sanitizers is slow: wait until the picture is on the screen.
    QImage shot;
    QDeadlineTimer deadline(60000);
    do {
        QTest::qWait(200);
        shot = QGuiApplication::primaryScreen()->grabWindow(form.winId()).toImage();
    } while (!deadline.hasExpired() && !colourbars::showsBars(shot.copy(0, (shot.height() - shot.width() * 9 / 16) / 2, shot.width(), shot.width() * 9 / 16)));
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/viewer_fullscreen.png")));
    EXPECT_EQ(shot.size(), form.size());
    // The picture keeps its 16:9 shape, centred between black bands.
    const int pictureHeight = shot.width() * 9 / 16;
    const int top = (shot.height() - pictureHeight) / 2;
    EXPECT_TRUE(colourbars::showsBars(shot.copy(0, top, shot.width(), pictureHeight)));
    if (top > 4) {
        EXPECT_LT(qGray(shot.pixel(shot.width() / 2, top / 2)), 24);
    }
}

} // namespace
