// A framed dialog on a real X server (Xvfb, no window manager, no compositor): it has no shadow, so no
// black border, and it moves by its caption and resizes by its corner through the xcb platform.
#include "ui/messageform.h"

#include "frame_fixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

TEST(FrameX11, MovesByCaptionAndResizesByCorner)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    MemviaComponent component;
    EXPECT_FALSE(memvia::hasCompositor()) << "a bare X server has no compositing manager";

    FramedDialog dialog(QSize(400, 300), Qt::WindowMinMaxButtonsHint);
    dialog.setWindowTitle("提示");
    FramelessWidgetHelper::frame(&dialog);
    EXPECT_EQ(dialog.contentsMargins(), QMargins(0, 0, 0, 0));
    dialog.showAndWait();
    QWindow* window = dialog.windowHandle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.pos() == QPoint(100, 100); }, 5000));

    const QPoint target = window->mapToGlobal(QPoint(200, 20)) + QPoint(50, 40);
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(200, 20));
    QTest::mouseMove(window, QPoint(250, 60));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.pos() == QPoint(150, 140); }, 5000))
        << dialog.pos().x() << "," << dialog.pos().y();
    QTest::mouseRelease(window, Qt::LeftButton, {}, window->mapFromGlobal(target));

    const QPoint corner(398, 298);
    QTest::mousePress(window, Qt::LeftButton, {}, corner);
    QTest::mouseMove(window, corner + QPoint(60, 30));
    QTest::mouseRelease(window, Qt::LeftButton, {}, corner + QPoint(60, 30));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.size() == QSize(460, 330); }, 5000))
        << dialog.width() << "x" << dialog.height();

    QCoreApplication::processEvents();
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(dialog.winId()).toImage();
    ASSERT_FALSE(shot.isNull());
    shot.save(QStringLiteral(SCREENSHOT_DIR "/frame_x11.png"));
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, 5), QColor("#000000")) << "the header";
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() - 3), QColor(Qt::white)) << "no black border";
    EXPECT_EQ(shot.pixelColor(2, shot.height() / 2), QColor(Qt::white));
}
