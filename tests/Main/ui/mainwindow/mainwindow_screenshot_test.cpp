// The main window's ready page on a real X server, captured from the screen and kept as an artefact.
#include "ui/mainwindow.h"

#include "Main/shell_env.h"

#include <bridge/abstract_config.h>
#include <bridge/interface.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

bool near(QRgb pixel, QRgb expected, int tolerance = 6)
{
    return qAbs(qRed(pixel) - qRed(expected)) <= tolerance
        && qAbs(qGreen(pixel) - qGreen(expected)) <= tolerance
        && qAbs(qBlue(pixel) - qBlue(expected)) <= tolerance;
}

TEST(MainWindowScreenshot, ReadyPage)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    CD->config->set("meeting.app.first.open", "0");
    MainWindow window;
    window.move(10, 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_FILE)));

    const QImage image = shot.toImage();
    EXPECT_EQ(image.size(), window.size());
    const QWidget* title = window.findChild<QWidget*>(QStringLiteral("widget_main_title"));
    ASSERT_NE(title, nullptr);
    // Dark title bar with its lighter top border; the ready page's light grey below.
    EXPECT_TRUE(near(image.pixel(window.width() / 2, title->height() / 2), qRgb(0x20, 0x20, 0x20)));
    EXPECT_TRUE(near(image.pixel(window.width() / 2, 0), qRgb(0x30, 0x30, 0x30)));
    EXPECT_TRUE(near(image.pixel(window.width() / 2, title->height() + 100), qRgb(0xf5, 0xf5, 0xf5)));
    // The close button's image is drawn in light grey on the dark bar.
    const QWidget* close = window.findChild<QWidget*>(QStringLiteral("pushButton_main_close"));
    ASSERT_NE(close, nullptr);
    const QRect closeRect(close->mapTo(&window, QPoint()), close->size());
    int light = 0;
    for (int y = closeRect.top(); y <= closeRect.bottom(); ++y) {
        for (int x = closeRect.left(); x <= closeRect.right(); ++x)
            light += qGray(image.pixel(x, y)) > 150;
    }
    EXPECT_GT(light, 10);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new BridgeEnvironment);
    return RUN_ALL_TESTS();
}
