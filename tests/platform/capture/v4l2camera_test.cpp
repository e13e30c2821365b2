// V4L2 cameras listed from recorded driver answers: names, paths, skipped nodes and the capabilities of
// discrete, stepwise and unlisted sizes and intervals, through to the capture library's device list.
#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <capture/v4l2camera.h>

#include "media/capture/capturelog.h"
#include "media/capture/deviceenum.h"
#include "media/capture/dshowdevice.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>

namespace {

struct RecordedFormat {
    uint32_t pixelFormat;
    std::vector<v4l2_frmsizeenum> sizes;
    // Keyed by (width, height).
    std::map<std::pair<uint32_t, uint32_t>, std::vector<v4l2_frmivalenum>> intervals;
};

struct RecordedNode {
    std::string node;
    std::string byId;
    std::string byPath;
    bool opens = true;
    std::string card;
    uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::vector<RecordedFormat> formats;
};

v4l2_frmsizeenum discreteSize(uint32_t width, uint32_t height)
{
    v4l2_frmsizeenum size {};
    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    size.discrete = { width, height };
    return size;
}

v4l2_frmsizeenum stepwiseSize(
    uint32_t minW, uint32_t maxW, uint32_t stepW, uint32_t minH, uint32_t maxH, uint32_t stepH)
{
    v4l2_frmsizeenum size {};
    size.type = V4L2_FRMSIZE_TYPE_STEPWISE;
    size.stepwise = { minW, maxW, stepW, minH, maxH, stepH };
    return size;
}

v4l2_frmivalenum discreteInterval(uint32_t numerator, uint32_t denominator)
{
    v4l2_frmivalenum interval {};
    interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    interval.discrete = { numerator, denominator };
    return interval;
}

v4l2_frmivalenum stepwiseInterval(v4l2_fract min, v4l2_fract max)
{
    v4l2_frmivalenum interval {};
    interval.type = V4L2_FRMIVAL_TYPE_STEPWISE;
    interval.stepwise = { min, max, { 1, 1 } };
    return interval;
}

// Answers the ioctls of the listing from recorded data, as the driver answered them; counts open
// descriptors so that a leak shows.
class ReplayIo : public capture::V4l2Io {
public:
    explicit ReplayIo(std::vector<RecordedNode> nodes)
        : m_nodes(std::move(nodes))
    {
    }

    int openDescriptors() const { return m_open; }

    // Streaming: pictures the fake driver fills its queued buffers with, oldest first.
    struct FakeFrame {
        std::vector<uint8_t> bytes;
        long seconds;
        long microseconds;
        bool error = false;
    };
    void push(FakeFrame frame)
    {
        std::lock_guard lock(m_streamMutex);
        m_pending.push_back(std::move(frame));
        m_ready.notify_all();
    }
    unsigned long busyOn = 0; // the request that answers EBUSY
    uint32_t bytesPerLine = 0; // the row pitch the driver answers for the format set (0: none)
    v4l2_pix_format setFormat {};
    v4l2_fract setRate {};
    bool streamedOff = false;
    size_t mapped() const { return m_mapped; }

    std::vector<std::string> nodes() override
    {
        std::vector<std::string> list;
        for (const RecordedNode& node : m_nodes)
            list.push_back(node.node);
        return list;
    }
    std::string linkTo(const std::string& node, const char* folder) override
    {
        const RecordedNode* recorded = find(node);
        if (!recorded)
            return {};
        return std::strcmp(folder, "by-id") == 0 ? recorded->byId : recorded->byPath;
    }
    int open(const std::string& node) override
    {
        const RecordedNode* recorded = find(node);
        if (!recorded || !recorded->opens) {
            errno = EACCES;
            return -1;
        }
        ++m_open;
        return static_cast<int>(recorded - m_nodes.data()) + 100;
    }
    int ioctl(int fd, unsigned long request, void* argument) override
    {
        const RecordedNode& node = m_nodes.at(static_cast<size_t>(fd - 100));
        if (request == VIDIOC_QUERYCAP) {
            auto* cap = static_cast<v4l2_capability*>(argument);
            std::strncpy(reinterpret_cast<char*>(cap->card), node.card.c_str(), sizeof cap->card);
            std::strncpy(reinterpret_cast<char*>(cap->driver), "uvcvideo", sizeof cap->driver);
            cap->device_caps = node.deviceCaps;
            cap->capabilities = node.deviceCaps | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_META_CAPTURE;
            return 0;
        }
        if (request == VIDIOC_ENUM_FMT) {
            auto* format = static_cast<v4l2_fmtdesc*>(argument);
            if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || format->index >= node.formats.size())
                return fail();
            format->pixelformat = node.formats[format->index].pixelFormat;
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMESIZES) {
            auto* size = static_cast<v4l2_frmsizeenum*>(argument);
            const RecordedFormat* format = formatOf(node, size->pixel_format);
            if (!format || size->index >= format->sizes.size())
                return fail();
            const uint32_t index = size->index;
            *size = format->sizes[index];
            size->index = index;
            size->pixel_format = format->pixelFormat;
            return 0;
        }
        if (request == VIDIOC_ENUM_FRAMEINTERVALS) {
            auto* interval = static_cast<v4l2_frmivalenum*>(argument);
            const RecordedFormat* format = formatOf(node, interval->pixel_format);
            if (!format)
                return fail();
            auto it = format->intervals.find({ interval->width, interval->height });
            if (it == format->intervals.end() || interval->index >= it->second.size())
                return fail();
            const v4l2_frmivalenum request_ = *interval;
            *interval = it->second[request_.index];
            interval->index = request_.index;
            interval->pixel_format = request_.pixel_format;
            interval->width = request_.width;
            interval->height = request_.height;
            return 0;
        }
        return streamIoctl(request, argument);
    }
    void close(int) override { --m_open; }

    void* mmap(int, size_t length, int64_t offset) override
    {
        const size_t index = static_cast<size_t>(offset / 4096);
        if (index >= m_buffers.size() || length != m_buffers[index].size())
            return nullptr;
        ++m_mapped;
        return m_buffers[index].data();
    }
    void munmap(void*, size_t) override { --m_mapped; }
    int poll(int, int timeoutMs) override
    {
        std::unique_lock lock(m_streamMutex);
        return m_ready.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [this] { return !m_pending.empty() && !m_queued.empty(); })
            ? 1
            : 0;
    }

private:
    static constexpr size_t kBufferSize = 1024 * 1024 * 4;

    int streamIoctl(unsigned long request, void* argument)
    {
        std::lock_guard lock(m_streamMutex);
        if (request == busyOn) {
            errno = EBUSY;
            return -1;
        }
        if (request == VIDIOC_S_FMT) {
            setFormat = static_cast<v4l2_format*>(argument)->fmt.pix;
            static_cast<v4l2_format*>(argument)->fmt.pix.bytesperline = bytesPerLine;
            return 0;
        }
        if (request == VIDIOC_S_PARM) {
            setRate = static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe;
            return 0;
        }
        if (request == VIDIOC_REQBUFS) {
            auto* buffers = static_cast<v4l2_requestbuffers*>(argument);
            buffers->count = std::min(buffers->count, 3u);
            m_buffers.assign(buffers->count, std::vector<uint8_t>(kBufferSize));
            m_queued.clear();
            return 0;
        }
        auto* buffer = static_cast<v4l2_buffer*>(argument);
        if (request == VIDIOC_QUERYBUF) {
            buffer->length = kBufferSize;
            buffer->m.offset = buffer->index * 4096;
            return 0;
        }
        if (request == VIDIOC_QBUF) {
            m_queued.push_back(buffer->index);
            m_ready.notify_all();
            return 0;
        }
        if (request == VIDIOC_DQBUF) {
            if (m_pending.empty() || m_queued.empty()) {
                errno = EAGAIN;
                return -1;
            }
            const FakeFrame frame = m_pending.front();
            m_pending.pop_front();
            buffer->index = m_queued.front();
            m_queued.pop_front();
            std::copy(frame.bytes.begin(), frame.bytes.end(), m_buffers[buffer->index].begin());
            buffer->bytesused = static_cast<uint32_t>(frame.bytes.size());
            buffer->timestamp = { frame.seconds, frame.microseconds };
            buffer->flags = frame.error ? V4L2_BUF_FLAG_ERROR : 0;
            return 0;
        }
        if (request == VIDIOC_STREAMON)
            return 0;
        if (request == VIDIOC_STREAMOFF) {
            streamedOff = true;
            return 0;
        }
        return fail();
    }

    static int fail()
    {
        errno = EINVAL;
        return -1;
    }
    const RecordedNode* find(const std::string& name) const
    {
        for (const RecordedNode& node : m_nodes) {
            if (node.node == name)
                return &node;
        }
        return nullptr;
    }
    static const RecordedFormat* formatOf(const RecordedNode& node, uint32_t pixelFormat)
    {
        for (const RecordedFormat& format : node.formats) {
            if (format.pixelFormat == pixelFormat)
                return &format;
        }
        return nullptr;
    }

    std::vector<RecordedNode> m_nodes;
    int m_open = 0;
    std::mutex m_streamMutex;
    std::condition_variable m_ready;
    std::deque<FakeFrame> m_pending;
    std::deque<uint32_t> m_queued;
    std::vector<std::vector<uint8_t>> m_buffers;
    size_t m_mapped = 0;
};

// A USB camera with a ':' in its name (YUYV discrete, MJPG stepwise, an unknown depth format), its
// metadata node, a node that cannot be opened, and two cameras with fewer links.
std::vector<RecordedNode> recordedMachine()
{
    RecordedFormat yuyv { V4L2_PIX_FMT_YUYV,
        { discreteSize(640, 480), discreteSize(1280, 720), discreteSize(320, 240) },
        { { { 640, 480 }, { discreteInterval(1, 30), discreteInterval(1, 15) } },
            { { 1280, 720 }, { discreteInterval(1, 10) } } } };
    RecordedFormat mjpg { V4L2_PIX_FMT_MJPEG, { stepwiseSize(160, 1920, 16, 120, 1080, 8) },
        { { { 1920, 1080 }, { stepwiseInterval({ 1, 60 }, { 1, 5 }) } } } };
    RecordedFormat depth { v4l2_fourcc('Z', '1', '6', ' '), { discreteSize(640, 480) }, {} };

    RecordedNode camera { "/dev/video0", "/dev/v4l/by-id/usb-Vendor_UVC_Camera-video-index0",
        "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0", true, "UVC Camera: HD Webcam",
        V4L2_CAP_VIDEO_CAPTURE, {} };
    camera.formats = { yuyv, mjpg, depth };

    RecordedNode metadata { "/dev/video1", "/dev/v4l/by-id/usb-Vendor_UVC_Camera-video-index1", "", true,
        "UVC Camera: HD Webcam", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, {} };
    RecordedNode locked { "/dev/video2", "", "", false, "Locked", V4L2_CAP_VIDEO_CAPTURE, {} };
    RecordedNode pathOnly { "/dev/video3", "", "/dev/v4l/by-path/platform-vivid.0-video-index0", true,
        "vivid", V4L2_CAP_VIDEO_CAPTURE, {} };
    pathOnly.formats = { { V4L2_PIX_FMT_NV12, { discreteSize(1280, 720) }, {} } };
    RecordedNode bare { "/dev/video4", "", "", true, "Loopback", V4L2_CAP_VIDEO_CAPTURE, {} };
    bare.formats = { { V4L2_PIX_FMT_YUV420, { discreteSize(640, 360) },
        { { { 640, 360 }, { discreteInterval(1, 25) } } } } };
    return { camera, metadata, locked, pathOnly, bare };
}

TEST(V4l2CameraTest, ListsCaptureNodesWithNamesAndPaths)
{
    ReplayIo io(recordedMachine());
    const auto cameras = capture::enumerateV4l2Cameras(io);
    EXPECT_EQ(io.openDescriptors(), 0);

    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, L"UVC Camera- HD Webcam");
    EXPECT_EQ(cameras[0].path, L"/dev/v4l/by-id/usb-Vendor_UVC_Camera-video-index0");
    EXPECT_EQ(cameras[1].name, L"vivid");
    EXPECT_EQ(cameras[1].path, L"/dev/v4l/by-path/platform-vivid.0-video-index0");
    EXPECT_EQ(cameras[2].name, L"Loopback");
    EXPECT_EQ(cameras[2].path, L"/dev/video4");
}

TEST(V4l2CameraTest, CapabilitiesFromDiscreteStepwiseAndUnlistedAnswers)
{
    ReplayIo io(recordedMachine());
    const auto cameras = capture::enumerateV4l2Cameras(io);
    ASSERT_FALSE(cameras.empty());
    const auto& caps = cameras[0].capabilities;
    ASSERT_EQ(caps.size(), 4u); // three YUYV sizes, one MJPG range; the depth format is not listed

    struct Expected {
        uint32_t format;
        int minW, minH, maxW, maxH, stepW, stepH;
        REFERENCE_TIME minInterval, maxInterval;
    };
    const Expected expected[] = {
        { V4L2_PIX_FMT_YUYV, 640, 480, 640, 480, 1, 1, 333333, 666667 },
        { V4L2_PIX_FMT_YUYV, 1280, 720, 1280, 720, 1, 1, 1000000, 1000000 },
        { V4L2_PIX_FMT_YUYV, 320, 240, 320, 240, 1, 1, 333333, 333333 },
        { V4L2_PIX_FMT_MJPEG, 160, 120, 1920, 1080, 16, 8, 166667, 2000000 },
    };
    for (size_t i = 0; i < caps.size(); ++i) {
        SCOPED_TRACE(i);
        const Expected& e = expected[i];
        EXPECT_EQ(caps[i].pixelFormat, e.format);
        EXPECT_EQ(std::tie(caps[i].minWidth, caps[i].minHeight, caps[i].maxWidth, caps[i].maxHeight),
            std::tie(e.minW, e.minH, e.maxW, e.maxH));
        EXPECT_EQ(caps[i].stepWidth, e.stepW);
        EXPECT_EQ(caps[i].stepHeight, e.stepH);
        EXPECT_EQ(caps[i].minInterval, e.minInterval);
        EXPECT_EQ(caps[i].maxInterval, e.maxInterval);
    }
    // A size whose intervals the driver does not list.
    ASSERT_EQ(cameras[1].capabilities.size(), 1u);
    EXPECT_EQ(cameras[1].capabilities[0].minInterval, 333333);
    EXPECT_EQ(cameras[1].capabilities[0].maxInterval, 333333);
}

TEST(V4l2CameraTest, PixelFormatsMapToSubtypesAndFormatCodes)
{
    struct Row {
        uint32_t pixelFormat;
        GUID subtype;
    };
    const Row rows[] = {
        { V4L2_PIX_FMT_YUYV, MEDIASUBTYPE_YUY2 },
        { V4L2_PIX_FMT_UYVY, MEDIASUBTYPE_UYVY },
        { V4L2_PIX_FMT_YVYU, MEDIASUBTYPE_YVYU },
        { V4L2_PIX_FMT_NV12, MEDIASUBTYPE_NV12 },
        { V4L2_PIX_FMT_YUV420, MEDIASUBTYPE_I420 },
        { V4L2_PIX_FMT_YVU420, MEDIASUBTYPE_YV12 },
        { V4L2_PIX_FMT_GREY, MEDIASUBTYPE_Y800 },
        { V4L2_PIX_FMT_MJPEG, MEDIASUBTYPE_MJPG },
        { V4L2_PIX_FMT_H264, MEDIASUBTYPE_H264 },
        { V4L2_PIX_FMT_BGR24, MEDIASUBTYPE_RGB24 },
        { V4L2_PIX_FMT_XBGR32, MEDIASUBTYPE_RGB32 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pixelFormat);
        EXPECT_EQ(capture::subtypeFromV4l2(row.pixelFormat), row.subtype);
        EXPECT_EQ(capture::v4l2FromSubtype(row.subtype), row.pixelFormat);
    }
    EXPECT_EQ(capture::subtypeFromV4l2(v4l2_fourcc('Z', '1', '6', ' ')), GUID_NULL);
    EXPECT_EQ(capture::v4l2FromSubtype(MEDIASUBTYPE_HDYC), 0u);
}

// The whole way: the default catalog lists the replayed cameras, and the capture library turns their
// capabilities into format codes and ranges.
TEST(V4l2CameraTest, CaptureLibraryListsReplayedCameras)
{
    ReplayIo io(recordedMachine());
    capture::setV4l2Io(&io);
    capture::setCatalog({});
    unsetenv(capture::kSyntheticCameraVariable);

    std::vector<DShow::VideoDevice> devices;
    ASSERT_TRUE(DShow::EnumVideoDevices(devices));
    capture::setV4l2Io(nullptr);

    ASSERT_EQ(devices.size(), 3u);
    const DShow::VideoDevice& camera = devices[0];
    EXPECT_EQ(camera.name, L"UVC Camera- HD Webcam");
    EXPECT_EQ(camera.path, L"/dev/v4l/by-id/usb-Vendor_UVC_Camera-video-index0");
    EXPECT_FALSE(camera.audioAttached);
    EXPECT_FALSE(camera.separateAudioFilter);
    ASSERT_EQ(camera.caps.size(), 4u);
    EXPECT_EQ(camera.caps[0].format, DShow::VideoFormat::YUY2);
    EXPECT_EQ(camera.caps[0].minInterval, 333333);
    EXPECT_EQ(camera.caps[0].maxInterval, 666667);
    const DShow::VideoInfo& mjpeg = camera.caps[3];
    EXPECT_EQ(mjpeg.format, DShow::VideoFormat::MJPEG);
    EXPECT_EQ(
        std::tie(mjpeg.minCX, mjpeg.minCY, mjpeg.maxCX, mjpeg.maxCY), std::make_tuple(160, 120, 1920, 1080));
    EXPECT_EQ(mjpeg.granularityCX, 16);
    EXPECT_EQ(mjpeg.granularityCY, 8);
    EXPECT_EQ(devices[1].caps.at(0).format, DShow::VideoFormat::NV12);
    EXPECT_EQ(devices[2].caps.at(0).format, DShow::VideoFormat::I420);

    // The connection library's listing sees the same cameras.
    capture::setV4l2Io(&io);
    const auto cameras = capture::listCameras();
    capture::setV4l2Io(nullptr);
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].uniqueId, camera.path);
    ASSERT_EQ(cameras[0].modes.size(), 4u);
    EXPECT_EQ(cameras[0].modes[0].width, 640);
    EXPECT_EQ(cameras[0].modes[0].fps, 30);
    EXPECT_EQ(cameras[0].modes[3].fps, 60);
}

// Streaming through the device, with fake driver buffers: the format and rate set, the samples and their
// times, a broken buffer dropped, a busy device, and everything given back at the end.
class V4l2StreamingTest : public testing::Test {
protected:
    void SetUp() override
    {
        capture::setV4l2Io(&m_io);
        capture::setCatalog({});
        unsetenv(capture::kSyntheticCameraVariable);
    }
    void TearDown() override { capture::setV4l2Io(nullptr); }

    DShow::VideoConfig config()
    {
        DShow::VideoConfig c;
        c.name = L"UVC Camera- HD Webcam";
        c.path = L"/dev/v4l/by-id/usb-Vendor_UVC_Camera-video-index0";
        c.useDefaultConfig = false;
        c.cx = 640;
        c.cy_abs = 480;
        c.frameInterval = 333333;
        c.format = DShow::VideoFormat::YUY2;
        c.callback = [this](const DShow::VideoConfig&, unsigned char* data, size_t size, long long start,
                         long long stop, long) {
            std::lock_guard lock(m_mutex);
            m_samples.push_back({ std::vector<uint8_t>(data, data + size), start, stop });
            m_arrived.notify_all();
        };
        return c;
    }

    struct Sample {
        std::vector<uint8_t> bytes;
        long long start;
        long long stop;
    };

    ReplayIo m_io { recordedMachine() };
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Sample> m_samples;
};

TEST_F(V4l2StreamingTest, DeliversFilledBuffersWithTheirTimes)
{
    {
        DShow::Device device(DShow::InitGraph::True);
        DShow::VideoConfig c = config();
        ASSERT_TRUE(device.SetVideoConfig(&c));
        EXPECT_EQ(c.internalFormat, DShow::VideoFormat::YUY2);
        ASSERT_TRUE(device.ConnectFilters());
        ASSERT_EQ(device.Start(), DShow::Result::Success);
        EXPECT_EQ(m_io.setFormat.pixelformat, static_cast<uint32_t>(V4L2_PIX_FMT_YUYV));
        EXPECT_EQ(m_io.setFormat.width, 640u);
        EXPECT_EQ(m_io.setFormat.height, 480u);
        EXPECT_EQ(m_io.setRate.numerator, 333333u);
        EXPECT_EQ(m_io.setRate.denominator, 10000000u);

        m_io.push({ std::vector<uint8_t>(640 * 480 * 2, 0x11), 100, 0 });
        m_io.push({ std::vector<uint8_t>(640 * 480 * 2, 0x22), 100, 33333, true }); // broken: dropped
        m_io.push({ std::vector<uint8_t>(640 * 480 * 2, 0x33), 100, 66666 });
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(
            m_arrived.wait_for(lock, std::chrono::seconds(20), [this] { return m_samples.size() >= 2; }));
    }
    ASSERT_EQ(m_samples.size(), 2u);
    EXPECT_EQ(m_samples[0].bytes, std::vector<uint8_t>(640 * 480 * 2, 0x11));
    EXPECT_EQ(m_samples[0].start, 0);
    EXPECT_EQ(m_samples[0].stop, 333333);
    EXPECT_EQ(m_samples[1].bytes, std::vector<uint8_t>(640 * 480 * 2, 0x33));
    EXPECT_EQ(m_samples[1].start, 666660);
    EXPECT_TRUE(m_io.streamedOff);
    EXPECT_EQ(m_io.mapped(), 0u);
    EXPECT_EQ(m_io.openDescriptors(), 0);
}

TEST_F(V4l2StreamingTest, BusyDeviceIsInUse)
{
    m_io.busyOn = VIDIOC_STREAMON;
    DShow::Device device(DShow::InitGraph::True);
    DShow::VideoConfig c = config();
    ASSERT_TRUE(device.SetVideoConfig(&c));
    ASSERT_TRUE(device.ConnectFilters());
    EXPECT_EQ(device.Start(), DShow::Result::InUse);
    EXPECT_EQ(m_io.mapped(), 0u);
    EXPECT_EQ(m_io.openDescriptors(), 0);
}

// The driver pads each row to its own pitch: the graph gets the rows without it (RGB24's padded to 4 bytes
// as the graph's are). The driver's RGB rows run top-down; a sink that asks for RGB with a positive height
// (bottom-up rows, as the camera input does) gets them turned. A picture shorter than its padded rows is
// dropped.
TEST(V4l2PaddedRows, RowsArriveUnpaddedAndInTheOrderAsked)
{
    const struct {
        const char* name;
        uint32_t pixelFormat;
        DShow::VideoFormat format;
        uint32_t width;
        uint32_t pixelBytes; // of a row
        uint32_t graphRow;
        bool turned;
    } cases[] = {
        { "XBGR32", V4L2_PIX_FMT_XBGR32, DShow::VideoFormat::XRGB, 642, 642 * 4, 642 * 4, true },
        { "BGR24", V4L2_PIX_FMT_BGR24, DShow::VideoFormat::RGB24, 642, 642 * 3, 642 * 3 + 2, true },
        { "YUYV", V4L2_PIX_FMT_YUYV, DShow::VideoFormat::YUY2, 642, 642 * 2, 642 * 2, false },
    };
    constexpr uint32_t height = 362;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedNode camera { "/dev/video0", "/dev/v4l/by-id/usb-Rows-video-index0", "", true, "Rows",
            V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, {} };
        camera.formats = { { c.pixelFormat, { discreteSize(c.width, height) },
            { { { c.width, height }, { discreteInterval(1, 30) } } } } };
        ReplayIo io({ camera });
        const uint32_t pitch = (c.pixelBytes + 64) & ~63u;
        io.bytesPerLine = pitch;
        capture::setV4l2Io(&io);
        capture::setCatalog({});
        unsetenv(capture::kSyntheticCameraVariable);

        std::mutex mutex;
        std::condition_variable arrived;
        std::vector<std::vector<uint8_t>> samples;
        {
            DShow::Device device(DShow::InitGraph::True);
            DShow::VideoConfig config;
            config.name = L"Rows";
            config.path = L"/dev/v4l/by-id/usb-Rows-video-index0";
            config.useDefaultConfig = false;
            config.cx = int(c.width);
            config.cy_abs = height;
            config.frameInterval = 333333;
            config.format = c.format;
            config.callback = [&](const DShow::VideoConfig& seen, unsigned char* data, size_t size, long long,
                                  long long, long) {
                std::lock_guard lock(mutex);
                samples.emplace_back(data, data + size);
                EXPECT_FALSE(seen.cy_flip);
                arrived.notify_all();
            };
            ASSERT_TRUE(device.SetVideoConfig(&config));
            ASSERT_TRUE(device.ConnectFilters());
            ASSERT_EQ(device.Start(), DShow::Result::Success);
            EXPECT_EQ(io.setFormat.width, c.width);

            // Row r holds r + 1 (mod 251) in its pixels and 0xEE in the driver's padding.
            std::vector<uint8_t> picture(size_t(pitch) * height, 0xEE);
            for (uint32_t row = 0; row < height; ++row)
                std::memset(&picture[size_t(row) * pitch], int((row + 1) % 251), c.pixelBytes);
            io.push({ std::vector<uint8_t>(picture.begin(), picture.begin() + picture.size() / 2), 100, 0 });
            io.push({ picture, 100, 33333 });
            std::unique_lock lock(mutex);
            ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), [&] { return !samples.empty(); }));
        }
        ASSERT_EQ(samples.size(), 1u);
        const std::vector<uint8_t>& sample = samples[0];
        ASSERT_EQ(sample.size(), size_t(c.graphRow) * height);
        int wrongRows = 0;
        for (uint32_t row = 0; row < height; ++row) {
            const uint8_t* line = &sample[size_t(row) * c.graphRow];
            const uint32_t source = c.turned ? height - 1 - row : row;
            const bool right
                = std::all_of(line, line + c.pixelBytes, [&](uint8_t b) { return b == (source + 1) % 251; })
                && std::all_of(line + c.pixelBytes, line + c.graphRow, [](uint8_t b) { return b == 0; });
            wrongRows += right ? 0 : 1;
        }
        EXPECT_EQ(wrongRows, 0);
        capture::setV4l2Io(nullptr);
    }
}

} // namespace
