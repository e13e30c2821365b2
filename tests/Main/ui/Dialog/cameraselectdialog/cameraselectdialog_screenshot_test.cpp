// Shows the camera chooser on a real X server, listing the synthetic camera through the WebRTC library,
// and keeps the screen capture as an artefact.
#include "ui/Dialog/cameraselectdialog.h"

#include "support/scoped_env.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(CameraSelectDialogScreenshot, SyntheticCameraWithItsModes)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ScopedEnv camera(capture::kSyntheticCameraVariable, std::string("Test Pattern Camera"));
    capture::setCatalog({});

    CameraSelectDialog dialog;
    auto* cameras = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_name"));
    auto* modes = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_resolution"));
    ASSERT_TRUE(cameras && modes);
    ASSERT_GE(cameras->count(), 1);
    EXPECT_EQ(cameras->itemText(0), QStringLiteral("Test Pattern Camera"));
    EXPECT_EQ(modes->itemText(0), QStringLiteral("640x480 30fps"));

    dialog.move(100, 100);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(100);

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(dialog.winId());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_FILE)));

    const QImage image = shot.toImage();
    ASSERT_EQ(image.size(), dialog.size());
    // Dark title bar, light body, blue OK button.
    EXPECT_EQ(image.pixel(5, 5) & 0xffffff, 0x202020u);
    EXPECT_EQ(image.pixel(5, dialog.height() - 5) & 0xffffff, 0xf5f5f5u);
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("pushButton_camera_ok"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(image.pixel(ok->mapTo(&dialog, QPoint(ok->width() / 2, 3))) & 0xffffff, 0x3597ffu);
}

} // namespace
