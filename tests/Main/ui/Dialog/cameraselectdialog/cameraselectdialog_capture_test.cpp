// The chooser over the WebRTC library's listing of the capture core's cameras: what it returns opens the
// camera it names.
#include "ui/Dialog/cameraselectdialog.h"

#include "media/capture/dshowdevice.h"
#include "support/scoped_env.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <capture/v4l2camera.h>

#include <QComboBox>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

class CaptureCameras : public testing::Test {
protected:
    void SetUp() override { capture::setCatalog({}); }
    void TearDown() override { capture::setCatalog({}); }

    ScopedEnv m_camera { capture::kSyntheticCameraVariable, std::string("Test Pattern Camera") };
};

TEST_F(CaptureCameras, SyntheticCameraIsListedWithItsModes)
{
    CameraSelectDialog dialog;
    auto* cameras = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_name"));
    auto* modes = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_resolution"));
    ASSERT_TRUE(cameras && modes);
    const int index = cameras->findText(QStringLiteral("Test Pattern Camera"));
    ASSERT_EQ(index, 0); // listed first, before any V4L2 camera of the machine
    EXPECT_EQ(cameras->itemData(index).toString(),
        QString::fromStdWString(capture::syntheticCameraPath(L"Test Pattern Camera")));
    QStringList texts;
    for (int i = 0; i < modes->count(); ++i)
        texts << modes->itemText(i);
    EXPECT_EQ(texts, QStringList({ "640x480 30fps", "1280x720 30fps" }));
}

TEST_F(CaptureCameras, ChosenCameraAndModeOpenThroughTheCaptureDevice)
{
    CameraSelectDialog dialog;
    auto* modes = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_resolution"));
    ASSERT_NE(modes, nullptr);
    modes->setCurrentIndex(modes->findText(QStringLiteral("1280x720 30fps")));

    QString id;
    int width = 0, height = 0, fps = 0;
    ASSERT_TRUE(dialog.currentCamera(id, width, height, fps));
    QString text;
    ASSERT_TRUE(dialog.currentResolution(text));
    // The camera wrapper splits its text at the first colon into name and path.
    const int colon = text.indexOf(QLatin1Char(':'));
    ASSERT_GT(colon, 0);
    EXPECT_EQ(text.mid(colon + 1), id);

    std::mutex mutex;
    std::condition_variable arrived;
    int pictures = 0;
    QSize size;
    DShow::VideoConfig config;
    config.name = text.left(colon).toStdWString();
    config.path = id.toStdWString();
    config.useDefaultConfig = false;
    config.cx = width;
    config.cy_abs = height;
    config.frameInterval = 10000000 / fps;
    config.callback = [&](const DShow::VideoConfig& c, unsigned char*, size_t, long long, long long, long) {
        std::lock_guard lock(mutex);
        size = QSize(c.cx, c.cy_abs);
        ++pictures;
        arrived.notify_all();
    };

    DShow::Device device(DShow::InitGraph::True);
    ASSERT_TRUE(device.SetVideoConfig(&config));
    ASSERT_TRUE(device.ConnectFilters());
    ASSERT_EQ(device.Start(), DShow::Result::Success);
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), [&] { return pictures >= 3; }));
        EXPECT_EQ(size, QSize(1280, 720));
    }
}

// Runs where a camera is plugged in: every V4L2 capture camera of the machine is offered with modes.
TEST_F(CaptureCameras, PluggedInWebcamsAreListedWithTheirModes)
{
    const std::vector<capture::V4l2Camera> webcams = capture::enumerateV4l2Cameras(capture::systemV4l2Io());
    if (webcams.empty())
        GTEST_SKIP() << "no V4L2 camera on this machine";
    CameraSelectDialog dialog;
    auto* cameras = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_name"));
    auto* modes = dialog.findChild<QComboBox*>(QStringLiteral("comboBox_camera_resolution"));
    ASSERT_TRUE(cameras && modes);
    for (const capture::V4l2Camera& webcam : webcams) {
        const int index = cameras->findData(QString::fromStdWString(webcam.path));
        ASSERT_GE(index, 0) << webcam.node;
        EXPECT_EQ(cameras->itemText(index), QString::fromStdWString(webcam.name));
        cameras->setCurrentIndex(index);
        EXPECT_GT(modes->count(), 0) << webcam.node;
    }
}

} // namespace
