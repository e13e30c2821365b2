#include "ui/Dialog/cameraselectdialog.h"

#include "fake_cameras.h"

#include "win/qssmanager.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

template <typename T> T* child(QObject& dialog, const char* name)
{
    T* found = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QStringList itemTexts(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

FakeCameras twoCameras()
{
    FakeCameras fake;
    fake.cameras = {
        { "USB Camera", "/dev/v4l/by-id/usb-cam-video-index0",
            { { 1280, 720, 30 }, { 640, 480, 30 }, { 1920, 1080, 15 }, { 1280, 720, 30 } }, false, {} },
        { "Test Pattern", "Test Pattern", { { 320, 240, 60 } }, false, {} },
    };
    return fake;
}

TEST(CameraSelectDialog, ListsCamerasAndTheFirstCamerasModes)
{
    FakeCameras fake = twoCameras();
    CameraSelectDialog dialog(nullptr, fake.enumeration());
    auto* cameras = child<QComboBox>(dialog, "comboBox_camera_name");
    auto* modes = child<QComboBox>(dialog, "comboBox_camera_resolution");

    EXPECT_EQ(itemTexts(cameras), QStringList({ "USB Camera", "Test Pattern" }));
    EXPECT_EQ(cameras->itemData(0).toString(), QStringLiteral("/dev/v4l/by-id/usb-cam-video-index0"));
    EXPECT_EQ(itemTexts(modes), QStringList({ "640x480 30fps", "1280x720 30fps", "1920x1080 15fps" }));
    EXPECT_EQ(modes->currentIndex(), 0);

    QString id;
    int width = 0, height = 0, fps = 0;
    ASSERT_TRUE(dialog.currentCamera(id, width, height, fps));
    EXPECT_EQ(id, QStringLiteral("/dev/v4l/by-id/usb-cam-video-index0"));
    EXPECT_EQ(QSize(width, height), QSize(640, 480));
    EXPECT_EQ(fps, 30);

    modes->setCurrentIndex(2);
    ASSERT_TRUE(dialog.currentCamera(id, width, height, fps));
    EXPECT_EQ(QSize(width, height), QSize(1920, 1080));
    EXPECT_EQ(fps, 15);

    // Switching the camera replaces the whole list, and only the chosen camera is asked.
    cameras->setCurrentIndex(1);
    EXPECT_EQ(itemTexts(modes), QStringList({ "320x240 60fps" }));
    ASSERT_TRUE(dialog.currentCamera(id, width, height, fps));
    EXPECT_EQ(id, QStringLiteral("Test Pattern"));
    EXPECT_EQ(fps, 60);
    EXPECT_EQ(fake.modesAskedFor,
        std::vector<std::string>({ "/dev/v4l/by-id/usb-cam-video-index0", "Test Pattern" }));
}

TEST(CameraSelectDialog, CameraTextIsNameColonId)
{
    const struct {
        std::string name;
        std::string id;
        QString label;
    } cases[] = {
        { "USB Camera", "/dev/video0", "USB Camera:/dev/video0" },
        { "Test Pattern", "Test Pattern", "Test Pattern:" },
        { "摄像头 %1", "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0",
            "摄像头 %1:/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCameras fake;
        fake.cameras = { { c.name, c.id, { { 640, 480, 30 } }, false, {} } };
        CameraSelectDialog dialog(nullptr, fake.enumeration());
        QString label;
        EXPECT_TRUE(dialog.currentResolution(label));
        EXPECT_EQ(label, c.label);
    }
}

TEST(CameraSelectDialog, NothingToChooseLeavesTheOutputsAlone)
{
    FakeCameras none;
    FakeCameras modeless;
    modeless.cameras = { { "Broken", "/dev/video2", {}, false, {} } };
    FakeCameras unnamed;
    unnamed.cameras = { { "Refused", "/dev/video3", { { 640, 480, 30 } }, true, {} } };
    for (FakeCameras* fake : { &none, &modeless, &unnamed }) {
        CameraSelectDialog dialog(nullptr, fake->enumeration());
        QString id = QStringLiteral("kept");
        int width = 1, height = 2, fps = 3;
        EXPECT_FALSE(dialog.currentCamera(id, width, height, fps));
        EXPECT_EQ(id, QStringLiteral("kept"));
        EXPECT_EQ(width, 1);
        EXPECT_EQ(height, 2);
        EXPECT_EQ(fps, 3);
    }
    // A camera the library cannot name is not offered, and its modes are never asked for.
    EXPECT_TRUE(unnamed.modesAskedFor.empty());
}

TEST(CameraSelectDialog, FramelessFixedSizeWindow)
{
    const struct {
        double scale;
        QSize size;
        int title;
    } cases[] = {
        { 1.0, { 420, 180 }, 40 },
        { 1.5, { 630, 270 }, 60 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        FakeCameras fake = twoCameras();
        CameraSelectDialog dialog(nullptr, fake.enumeration());

        const Qt::WindowFlags flags = dialog.windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::Dialog));
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("摄像头"));
        EXPECT_EQ(dialog.size(), c.size);
        EXPECT_EQ(dialog.minimumSize(), c.size);
        EXPECT_EQ(dialog.maximumSize(), c.size);
        EXPECT_EQ(child<QWidget>(dialog, "widget_title")->height(), c.title);
        EXPECT_EQ(child<QLabel>(dialog, "label_title")->text(), QStringLiteral("选择摄像头"));
        EXPECT_TRUE(dialog.styleSheet().contains(QLatin1String("#3597FF")));

        auto* close = child<QPushButton>(dialog, "pushButton_close");
        EXPECT_EQ(dialog.property("header_btns").value<QList<QObject*>>(), QList<QObject*> { close });
        EXPECT_EQ(dialog.property("header_visible"), QVariant(false));
        EXPECT_EQ(dialog.property("header_height"), QVariant(c.title));
        for (const char* box : { "comboBox_camera_name", "comboBox_camera_resolution" })
            EXPECT_TRUE(child<QComboBox>(dialog, box)->view()->inherits("QListView")) << box;
    }
}

TEST(CameraSelectDialog, OkAcceptsCloseRejects)
{
    const struct {
        const char* button;
        int result;
    } cases[] = {
        { "pushButton_camera_ok", QDialog::Accepted },
        { "pushButton_close", QDialog::Rejected },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        FakeCameras fake; // no camera: OK still accepts
        CameraSelectDialog dialog(nullptr, fake.enumeration());
        auto* target = child<QPushButton>(dialog, c.button);
        QTimer::singleShot(0, &dialog, [target] { QTest::mouseClick(target, Qt::LeftButton); });
        QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
        EXPECT_EQ(dialog.exec(), c.result);
    }
}

} // namespace
