// Shows a message box with both buttons on a real X server and keeps the screen capture as an artefact.
#include "ui/messageboxdialog.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

bool isBlueish(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 120; }

TEST(MessageBoxDialogScreenshot, BothButtonsOnScreen)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    MessageBoxDialog dialog(QStringLiteral("确定要结束本次直播吗？结束后观众将无法继续观看。"), 3, QString());
    dialog.move(100, 100);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QCoreApplication::processEvents();

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(dialog.winId());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_FILE)));

    const QImage image = shot.toImage();
    EXPECT_EQ(image.size(), dialog.size());
    // The title bar and the OK button carry the sheet's blue; the message area stays white.
    EXPECT_TRUE(isBlueish(image.pixel(5, 5)));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("pushButton_messagebox_ok"));
    ASSERT_NE(ok, nullptr);
    const QPoint okCorner = ok->mapTo(&dialog, QPoint(4, ok->height() / 2));
    EXPECT_TRUE(isBlueish(image.pixel(okCorner)));
    EXPECT_EQ(image.pixel(dialog.width() / 2, 40) & 0xffffff, 0xffffffu);
}

} // namespace
