// The WebRTC layer's camera listing against the capture library's own device list: the same devices under
// the same names and paths, one mode per capability at its largest size, and texts refused when they do not
// fit the caller's buffer.
#include <zovwebrtc/devices.h>

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <capture/v4l2camera.h>

#include "media/capture/dshowdevice.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One V4L2 camera whose single format has a stepwise size range (the listing must give its largest size)
// and a stepwise interval range (the rate of its shortest interval).
class StepwiseIo : public capture::V4l2Io {
public:
    std::vector<std::string> nodes() override { return { "/dev/video7" }; }
    std::string linkTo(const std::string&, const char* folder) override
    {
        return std::strcmp(folder, "by-id") == 0 ? "/dev/v4l/by-id/usb-Stepwise_Cam-video-index0" : "";
    }
    int open(const std::string&) override { return 70; }
    int ioctl(int, unsigned long request, void* argument) override
    {
        if (request == VIDIOC_QUERYCAP) {
            auto* cap = static_cast<v4l2_capability*>(argument);
            std::strncpy(reinterpret_cast<char*>(cap->card), "Stepwise Cam", sizeof cap->card);
            cap->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        if (request == VIDIOC_ENUM_FMT) {
            auto* format = static_cast<v4l2_fmtdesc*>(argument);
            if (format->index > 0)
                return fail();
            format->pixelformat = V4L2_PIX_FMT_YUYV;
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMESIZES) {
            auto* size = static_cast<v4l2_frmsizeenum*>(argument);
            if (size->index > 0)
                return fail();
            size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            size->stepwise = { 160, 1280, 8, 120, 720, 8 };
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMEINTERVALS) {
            auto* interval = static_cast<v4l2_frmivalenum*>(argument);
            if (interval->index > 0)
                return fail();
            interval->type = V4L2_FRMIVAL_TYPE_STEPWISE;
            interval->stepwise = { { 1001, 60000 }, { 1, 5 }, { 1, 1 } }; // 59.94 down to 5 frames per second
            return 0;
        }
        return fail();
    }
    void close(int) override { }
    void* mmap(int, size_t, int64_t) override { return nullptr; }
    void munmap(void*, size_t) override { }
    int poll(int, int) override { return 0; }

private:
    static int fail()
    {
        errno = EINVAL;
        return -1;
    }
};

struct Mode {
    int width, height, fps;
    bool operator==(const Mode& other) const
    {
        return width == other.width && height == other.height && fps == other.fps;
    }
};

std::wstring widen(const std::string& utf8)
{
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t code = extra ? lead & (0x3F >> extra) : lead;
        for (int k = 1; k <= extra; ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out.push_back(static_cast<wchar_t>(code));
        i += extra + 1;
    }
    return out;
}

std::vector<Mode> modesOf(const char* uniqueId)
{
    std::vector<int> widths(zovwebrtc::kMaxDeviceCapabilities), heights(widths.size()), fps(widths.size());
    const int count = zovwebrtc::list_device_capability(uniqueId, widths.data(), heights.data(), fps.data());
    std::vector<Mode> modes;
    for (int i = 0; i < count; ++i)
        modes.push_back({ widths[i], heights[i], fps[i] });
    return modes;
}

class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override { capture::setV4l2Io(&m_io); }
    void TearDown() override
    {
        capture::setCatalog({});
        capture::setV4l2Io(nullptr);
    }

    // The devices a catalog holds: synthetic cameras of the given names first, then the stepwise V4L2 one.
    void useCameras(std::vector<capture::DeviceEntry> synthetic)
    {
        capture::setCatalog([synthetic, this](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category != CLSID_VideoInputDeviceCategory)
                return entries;
            entries = synthetic;
            for (capture::DeviceEntry& entry : capture::v4l2CameraEntries(m_io))
                entries.push_back(std::move(entry));
            return entries;
        });
    }

    StepwiseIo m_io;
};

const std::vector<capture::SyntheticCapability> kFrontModes = {
    { MEDIASUBTYPE_YUY2, 640, 480, 333333, 333333 }, // 30.0000
    { MEDIASUBTYPE_NV12, 1920, 1080, 666667, 666667 }, // 14.99999
    { MEDIASUBTYPE_I420, 320, 240, 400000, 1000000 }, // 25 at best
};

TEST_F(DeviceListTest, EveryDeviceAndModeIsOneTheCaptureLibraryLists)
{
    capture::DeviceEntry pathless = capture::syntheticCameraEntry(L"Pathless", kFrontModes);
    pathless.devicePath.clear();
    useCameras({ capture::syntheticCameraEntry(L"前置摄像头 Front", kFrontModes), pathless });

    std::vector<DShow::VideoDevice> devices;
    ASSERT_TRUE(DShow::Device::EnumVideoDevices(devices));
    ASSERT_EQ(zovwebrtc::list_device_num(), 3u);

    std::vector<std::string> names, ids;
    for (unsigned index = 0; index < 3; ++index) {
        char name[1024], id[1024];
        ASSERT_TRUE(zovwebrtc::get_device_name(index, name, sizeof name, id, sizeof id)) << index;
        names.push_back(name);
        ids.push_back(id);
        SCOPED_TRACE(name);

        int matches = 0;
        const DShow::VideoDevice* match = nullptr;
        for (const DShow::VideoDevice& device : devices) {
            if (device.name == widen(name)
                && (device.path.empty() ? device.name : device.path) == widen(id)) {
                ++matches;
                match = &device;
            }
        }
        ASSERT_EQ(matches, 1);
        std::vector<Mode> expected;
        for (const DShow::VideoInfo& info : match->caps) {
            expected.push_back({ info.maxCX, std::abs(info.maxCY),
                static_cast<int>(std::lround(1e7 / static_cast<double>(info.minInterval))) });
        }
        EXPECT_EQ(modesOf(id), expected);
    }
    EXPECT_EQ(names, (std::vector<std::string> { "前置摄像头 Front", "Pathless", "Stepwise Cam" }));
    EXPECT_EQ(ids[0], "synthetic/前置摄像头 Front");
    EXPECT_EQ(ids[1], "Pathless"); // no device path: the name stands for it
    EXPECT_EQ(ids[2], "/dev/v4l/by-id/usb-Stepwise_Cam-video-index0");
    EXPECT_EQ(modesOf(ids[0].c_str()),
        (std::vector<Mode> { { 640, 480, 30 }, { 1920, 1080, 15 }, { 320, 240, 25 } }));
    EXPECT_EQ(modesOf(ids[2].c_str()), (std::vector<Mode> { { 1280, 720, 60 } }));
}

TEST_F(DeviceListTest, UnknownIdsAndIndexesListNothing)
{
    useCameras({ capture::syntheticCameraEntry(L"Front", kFrontModes) });
    ASSERT_EQ(zovwebrtc::list_device_num(), 2u);
    char name[64] = "untouched", id[64] = "untouched";
    EXPECT_FALSE(zovwebrtc::get_device_name(2, name, sizeof name, id, sizeof id));
    EXPECT_TRUE(modesOf("synthetic/Back").empty());
    EXPECT_TRUE(modesOf("").empty());
    EXPECT_EQ(zovwebrtc::list_device_capability(nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(DeviceListTest, TextsThatDoNotFitTheirBufferAreRefused)
{
    // 1023 bytes fit a 1024-byte buffer with the NUL; 1024 bytes do not, and neither do 400 Chinese
    // characters, which are 1200 bytes of UTF-8.
    const std::wstring fits(1023, L'a'), tooLong(1024, L'b'), wide(400, L'摄');
    useCameras({ capture::syntheticCameraEntry(fits, kFrontModes),
        capture::syntheticCameraEntry(tooLong, kFrontModes),
        capture::syntheticCameraEntry(wide, kFrontModes) });
    ASSERT_EQ(zovwebrtc::list_device_num(), 4u);

    std::vector<char> name(1024), id(2048);
    EXPECT_TRUE(zovwebrtc::get_device_name(0, name.data(), 1024, id.data(), 2048));
    EXPECT_EQ(std::strlen(name.data()), 1023u);
    for (unsigned index : { 1u, 2u }) {
        std::fill(name.begin(), name.end(), 'x');
        EXPECT_FALSE(zovwebrtc::get_device_name(index, name.data(), 1024, id.data(), 2048)) << index;
        EXPECT_EQ(name[0], 'x') << "nothing written";
    }
    // The same name refused for a short id buffer, and fine once the buffers are large enough.
    EXPECT_FALSE(zovwebrtc::get_device_name(0, name.data(), 1024, id.data(), 16));
    std::vector<char> large(4096);
    EXPECT_TRUE(zovwebrtc::get_device_name(2, large.data(), 4096, id.data(), 2048));
    EXPECT_EQ(std::strlen(large.data()), 1200u);
    EXPECT_FALSE(zovwebrtc::get_device_name(0, nullptr, 1024, id.data(), 2048));
    EXPECT_FALSE(zovwebrtc::get_device_name(0, name.data(), 0, id.data(), 2048));
}

} // namespace
