// Opens the emoticon picker above a button on a real X server and keeps the screen capture as an artefact.
#include "ui/Dialog/facedialog.h"

#include "win/qssmanager.h"

#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(FaceDialogScreenshot, SixEmoticonsInOneRow)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QssManager::setDpiScaleOverride(1.0);
    QWidget window;
    // A sheet without selector would reach the picker too, a child of the button.
    window.setObjectName(QStringLiteral("chatForm"));
    window.setStyleSheet(QStringLiteral("QWidget#chatForm { background-color: #ffffff; }"));
    window.setGeometry(100, 100, 400, 200);
    auto* anchor = new QPushButton(QStringLiteral("☺"), &window);
    anchor->setGeometry(20, 150, 30, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    FaceDialog dialog(anchor);
    dialog.setAnchorWidget(anchor);
    dialog.setFaceFiles(QDir(QStringLiteral(":/image/face/")).entryInfoList(QDir::Files, QDir::Name));
    dialog.popupAt(anchor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(100);

    const QRect area = dialog.frameGeometry().adjusted(-10, -10, 10, 40);
    const QPixmap shot
        = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_FILE)));

    const QImage image = shot.toImage();
    const QPoint origin = dialog.pos() - area.topLeft();
    EXPECT_EQ(dialog.size(), QSize(180, 27));
    // The picker's bottom edge rests on the button's top edge.
    EXPECT_EQ(dialog.geometry().bottom() + 1, anchor->mapToGlobal(QPoint(0, 0)).y());
    // The panel's border and background, then the heart (third image) in red.
    EXPECT_EQ(image.pixel(origin) & 0xffffff, 0x525252u);
    EXPECT_EQ(image.pixel(origin + QPoint(dialog.width() - 3, 13)) & 0xffffff, 0x323232u);
    const QColor heart = image.pixelColor(origin + QPoint(2 * (22 + 5) + 11, 14));
    EXPECT_GT(heart.red(), 180);
    EXPECT_LT(heart.green(), 100);
    QssManager::setDpiScaleOverride(0.0);
}

} // namespace
