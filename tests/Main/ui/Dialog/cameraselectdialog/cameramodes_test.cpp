#include "ui/Dialog/cameralisting.h"
#include "ui/Dialog/cameramodes.h"

#include "fake_cameras.h"

#include <QVariant>

#include <gtest/gtest.h>

namespace {

QStringList texts(const QVector<CameraModeItem>& items)
{
    QStringList list;
    for (const CameraModeItem& item : items)
        list << item.text;
    return list;
}

TEST(CameraModes, OrderedByRateThenWidthThenHeightWithoutDuplicates)
{
    const struct {
        const char* name;
        QVector<Capability> modes;
        QStringList expected;
    } cases[] = {
        { "two 1280x720 at 30",
            { { 1280, 720, 30 }, { 640, 480, 30 }, { 1920, 1080, 15 }, { 1280, 720, 30 } },
            { "640x480 30fps", "1280x720 30fps", "1920x1080 15fps" } },
        { "higher rate first", { { 640, 480, 5 }, { 640, 480, 60 }, { 640, 480, 30 } },
            { "640x480 60fps", "640x480 30fps", "640x480 5fps" } },
        { "same width: smaller height first", { { 640, 480, 30 }, { 640, 360, 30 } },
            { "640x360 30fps", "640x480 30fps" } },
        { "none", {}, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(texts(orderedCameraModes(c.modes)), c.expected);
    }

    const auto items = orderedCameraModes({ { 1920, 1080, 15 }, { 640, 480, 30 } });
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1].capability.width, 1920);
    EXPECT_EQ(items[1].capability.height, 1080);
    EXPECT_EQ(items[1].capability.fps, 15);
}

TEST(CameraModes, CapabilityRidesInAVariantUnderItsName)
{
    registerCapabilityMetaType();
    EXPECT_EQ(QMetaType::type("Capability"), qMetaTypeId<Capability>());
    const QVariant value = QVariant::fromValue(Capability { 1280, 720, 25 });
    EXPECT_STREQ(value.typeName(), "Capability");
    EXPECT_EQ(value.value<Capability>().fps, 25);
}

TEST(CameraListing, CamerasWhoseTextsAreReadAndTerminated)
{
    FakeCameras fake;
    fake.cameras = {
        { "前置摄像头", "/dev/v4l/by-id/usb-front", {}, false, {} },
        { "Refused", "/dev/video4", {}, true, {} },
        { std::string(2000, 'n'), "/dev/video6", {}, false, {} }, // fills its buffer: no terminator
        { "Long id", std::string(1500, 'i'), {}, false, {} },
        { "Longest name that fits", std::string(1023, 'x'), {}, false, {} },
    };
    const QVector<CameraDevice> devices = listCameraDevices(fake.enumeration());
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].name, QStringLiteral("前置摄像头"));
    EXPECT_EQ(devices[0].uniqueId, QStringLiteral("/dev/v4l/by-id/usb-front"));
    EXPECT_EQ(devices[1].name, QStringLiteral("Longest name that fits"));
    EXPECT_EQ(devices[1].uniqueId.size(), 1023);
}

TEST(CameraListing, ModeCountIsBoundedByTheArrays)
{
    std::vector<Capability> many;
    for (int i = 0; i < kCameraModeCapacity; ++i)
        many.push_back({ 16 * (i + 1), 9 * (i + 1), 30 });

    const struct {
        const char* name;
        std::optional<int> reported;
        int listed;
    } cases[] = {
        { "as many as written", std::nullopt, kCameraModeCapacity },
        { "a count past the arrays", 5000, kCameraModeCapacity },
        { "a negative count", -3, 0 },
        { "fewer than written", 2, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCameras fake;
        fake.cameras = { { "Cam", "/dev/video0", many, false, c.reported } };
        const QVector<Capability> modes = listCameraModes(fake.enumeration(), QStringLiteral("/dev/video0"));
        ASSERT_EQ(modes.size(), c.listed);
        if (c.listed > 0) {
            EXPECT_EQ(modes.last().width, 16 * c.listed);
            EXPECT_EQ(modes.last().height, 9 * c.listed);
        }
        EXPECT_TRUE(fake.arraysZeroFilled);
        EXPECT_EQ(fake.modesAskedFor, std::vector<std::string> { "/dev/video0" });
    }
}

} // namespace
