// The camera input: device ids, capability choice and frame interval, opening a synthetic camera by its
// "name:path" id, the sample handler's per-format records, dropped samples, coded samples, actions and
// construction failures.
#include "cameralog.h"
#include "codedsamples.h"

#include "media/dshowinput.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

#include <libyuv/convert_from_argb.h>

#include <dirent.h>

#include <cstring>
#include <functional>
#include <optional>

namespace {

using namespace std::chrono_literals;
using DShow::DShowInput;
using DShow::VideoConfig;
using DShow::VideoFormat;
using DShow::VideoInfo;

TEST(CameraInputConfig, DeviceIds)
{
    const struct {
        std::string id;
        bool ok;
        std::wstring name;
        std::wstring path;
    } cases[] = {
        { "Cam A:usb#1:2", true, L"Cam A", L"usb#1:2" },
        { "Cam:", true, L"Cam", L"" },
        { ":/dev/video0", true, L"", L"/dev/video0" },
        { "前置摄像头:/dev/v4l/by-id/usb-前置", true, L"前置摄像头", L"/dev/v4l/by-id/usb-前置" },
        { "Cam", false, L"", L"" },
        { "", false, L"", L"" },
        { "Cam\xff:/dev/video0", false, L"", L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        std::wstring name = L"old", path = L"old";
        ASSERT_EQ(DShow::DecodeDeviceId(c.id, name, path), c.ok);
        if (c.ok) {
            EXPECT_EQ(name, c.name);
            EXPECT_EQ(path, c.path);
        }
    }
}

VideoInfo capability(
    int cx, int cy, int64_t shortest, int64_t longest, VideoFormat format = VideoFormat::YUY2)
{
    VideoInfo info;
    info.minCX = info.maxCX = cx;
    info.minCY = info.maxCY = cy;
    info.minInterval = shortest;
    info.maxInterval = longest;
    info.format = format;
    return info;
}

TEST(CameraInputConfig, CapabilityChoice)
{
    const std::vector<VideoInfo> caps = {
        capability(640, 480, 333333, 333333, VideoFormat::MJPEG),
        capability(1280, -720, 333333, 666666, VideoFormat::ARGB),
        capability(1280, 720, 333333, 333333, VideoFormat::NV12),
        capability(1920, 1080, 400000, 666666),
        capability(800, 600, 166666, 333333),
        capability(1024, 768, 166666, 200000),
    };
    const struct {
        int cx, cy;
        bool ok;
        int height;
        bool flip;
        int64_t interval;
        VideoFormat format;
    } cases[] = {
        { 1280, 720, true, 720, true, 333333, VideoFormat::ARGB }, // the bottom-up entry comes first
        { 640, 480, true, 480, false, 333333, VideoFormat::MJPEG },
        { 1920, 1080, true, 1080, false, 400000, VideoFormat::YUY2 }, // 25 frames per second at best
        { 800, 600, true, 600, false, 333333, VideoFormat::YUY2 },
        { 1024, 768, true, 768, false, 200000, VideoFormat::YUY2 },
        { 1280, 960, false, 0, false, 0, VideoFormat::Any },
        { 1280, -720, false, 0, false, 0, VideoFormat::Any },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cx) + "x" + std::to_string(c.cy));
        VideoConfig config;
        ASSERT_EQ(DShow::chooseCapability(caps, c.cx, c.cy, config), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(config.cx, c.cx);
        EXPECT_EQ(config.cy_abs, c.height);
        EXPECT_EQ(config.cy_flip, c.flip);
        EXPECT_EQ(config.frameInterval, c.interval);
        EXPECT_EQ(config.internalFormat, c.format);
    }
}

TEST(CameraInputConfig, IntervalClamp)
{
    const struct {
        int64_t shortest, longest, interval;
    } cases[] = {
        { 400000, 666666, 400000 },
        { 166666, 333333, 333333 },
        { 166666, 200000, 200000 },
        { 166666, 666666, 333333 },
        { 333333, 333333, 333333 },
        { 333334, 333334, 333334 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(DShow::clampFrameInterval(c.shortest, c.longest), c.interval)
            << c.shortest << ".." << c.longest;
}

// ---- inputs over a catalog of synthetic cameras

capture::DeviceEntry cameraAt(
    const std::wstring& name, const std::wstring& path, std::vector<capture::SyntheticCapability> caps)
{
    return { name, path,
        [name, caps](IBaseFilter** filter) { return capture::CreateSyntheticCamera(name, caps, filter); } };
}

capture::SyntheticCapability mode(const GUID& subtype, int width, int height,
    REFERENCE_TIME shortest = 333333, REFERENCE_TIME longest = 333333)
{
    return { subtype, width, height, shortest, longest };
}

class CameraInput : public testing::Test {
protected:
    void SetUp() override { useCameras({}); }
    void TearDown() override { capture::setCatalog({}); }

    static void useCameras(std::vector<capture::DeviceEntry> cameras)
    {
        capture::setCatalog([cameras](const GUID& category) {
            return category == CLSID_VideoInputDeviceCategory ? cameras
                                                              : std::vector<capture::DeviceEntry> {};
        });
    }

    struct Polled {
        int count = 0;
        int width = 0;
        int height = 0;
        int linesize = 0;
        std::vector<uint8_t> pixels;
    };
    static void remember(uint8_t* data, int linesize, int width, int height, void* context)
    {
        auto* polled = static_cast<Polled*>(context);
        ++polled->count;
        polled->width = width;
        polled->height = height;
        polled->linesize = linesize;
        polled->pixels.assign(data, data + static_cast<size_t>(linesize) * height);
    }
    static Polled poll(DShowInput& input)
    {
        Polled polled;
        input.pollFrame(remember, &polled);
        return polled;
    }
    static bool pollUntilPicture(DShowInput& input, Polled& polled)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while ((polled = poll(input)).count == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    FramekitLogCollector m_log;
};

TEST_F(CameraInput, OpensOnlyTheDeviceWhosePathMatches)
{
    useCameras({
        cameraAt(L"Cam", L"/dev/v4l/by-path/a", { mode(MEDIASUBTYPE_YUY2, 640, 480) }),
        cameraAt(L"Cam", L"/dev/v4l/by-path/b", { mode(MEDIASUBTYPE_YUY2, 1280, 720, 166666, 666666) }),
    });
    {
        DShowInput input({ "Cam:/dev/v4l/by-path/b", 1280, 720 });
        ASSERT_TRUE(input.waitActivated(20s));
        Polled polled;
        ASSERT_TRUE(pollUntilPicture(input, polled));
        EXPECT_EQ(polled.width, 1280);
        EXPECT_EQ(polled.height, 720);
        EXPECT_EQ(polled.linesize, 1280 * 4);
        const std::string opened = m_log.find("[Open DShow Device: 'Cam:/dev/v4l/by-path/b']");
        EXPECT_NE(opened.find("resolution: 1280x720"), std::string::npos) << opened;
        EXPECT_NE(opened.find("fps: 30.00 (interval: 333333)"), std::string::npos) << opened;
        EXPECT_NE(opened.find("format: 301"), std::string::npos) << opened;
        EXPECT_EQ(m_log.levelOf("[Open DShow Device:"), FK_LOG_INFO);
        EXPECT_EQ(m_log.count("**************************************"), 2);
    }
    EXPECT_EQ(m_log.count("Create DShow"), 1);
    EXPECT_EQ(m_log.count("Destroy DShow"), 1);

    // The same name on the other path has no 1280x720 mode: nothing opens, nothing is polled.
    DShowInput other({ "Cam:/dev/v4l/by-path/a", 1280, 720 });
    ASSERT_TRUE(other.waitActivated(20s));
    EXPECT_EQ(m_log.count("Video configuration failed"), 1);
    EXPECT_EQ(m_log.levelOf("Video configuration failed"), FK_LOG_WARNING);
    std::this_thread::sleep_for(100ms); // a device that had opened by mistake would deliver by now
    EXPECT_EQ(poll(other).count, 0);
}

TEST_F(CameraInput, ConfigurationFailuresAreLogged)
{
    useCameras({ cameraAt(L"Cam", L"/p", { mode(MEDIASUBTYPE_NV12, 640, 480) }) });
    const struct {
        const char* id;
        int cx, cy;
        const char* line;
    } cases[] = {
        { "Cam /p", 640, 480, "Cam /p: DecodeDeviceId failed" },
        { "Cam:/q", 640, 480, nullptr },
        { "Cam:/p", 1280, 720, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        FramekitLogCollector log;
        DShowInput input({ c.id, c.cx, c.cy });
        ASSERT_TRUE(input.waitActivated(20s));
        EXPECT_EQ(log.count("Video configuration failed"), 1);
        if (c.line) {
            EXPECT_EQ(log.count(c.line), 1);
        }
        EXPECT_EQ(log.count("[Open DShow Device"), 0);
        EXPECT_EQ(poll(input).count, 0);
    }
}

// ---- the sample handler, fed directly

struct Rgb {
    int r, g, b;
};
// Quadrants of a 32 x 16 picture: top left, top right, bottom left, bottom right.
constexpr Rgb kQuadrants[4] = { { 200, 40, 40 }, { 40, 200, 40 }, { 40, 40, 200 }, { 128, 128, 128 } };
constexpr int kWidth = 32, kHeight = 16;

std::vector<uint8_t> quadrantsBgra()
{
    std::vector<uint8_t> pixels(kWidth * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Rgb& c = kQuadrants[(y >= kHeight / 2) * 2 + (x >= kWidth / 2)];
            uint8_t* p = &pixels[(y * kWidth + x) * 4];
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r), p[3] = 255;
        }
    }
    return pixels;
}

std::vector<uint8_t> i420Sample()
{
    const auto bgra = quadrantsBgra();
    std::vector<uint8_t> out(kWidth * kHeight * 3 / 2);
    uint8_t* u = out.data() + kWidth * kHeight;
    uint8_t* v = u + kWidth * kHeight / 4;
    libyuv::ARGBToI420(
        bgra.data(), kWidth * 4, out.data(), kWidth, u, kWidth / 2, v, kWidth / 2, kWidth, kHeight);
    return out;
}

std::vector<uint8_t> sampleOf(VideoFormat format)
{
    const auto bgra = quadrantsBgra();
    const size_t area = kWidth * kHeight;
    std::vector<uint8_t> out;
    switch (format) {
    case VideoFormat::ARGB:
    case VideoFormat::XRGB:
        return bgra;
    case VideoFormat::I420:
    case VideoFormat::Y800:
        out = i420Sample();
        if (format == VideoFormat::Y800)
            out.resize(area);
        return out;
    case VideoFormat::YV12: {
        out = i420Sample();
        std::swap_ranges(out.begin() + area, out.begin() + area + area / 4, out.begin() + area + area / 4);
        return out;
    }
    case VideoFormat::NV12:
        out.resize(area * 3 / 2);
        libyuv::ARGBToNV12(
            bgra.data(), kWidth * 4, out.data(), kWidth, out.data() + area, kWidth, kWidth, kHeight);
        return out;
    case VideoFormat::P010: {
        const auto nv12 = sampleOf(VideoFormat::NV12);
        out.resize(nv12.size() * 2);
        for (size_t i = 0; i < nv12.size(); ++i) {
            const uint16_t value = uint16_t(nv12[i] << 8 | (nv12[i] >> 6) << 6); // 10 bits, high-aligned
            std::memcpy(&out[i * 2], &value, 2);
        }
        return out;
    }
    case VideoFormat::YUY2:
    case VideoFormat::YVYU:
        out.resize(area * 2);
        libyuv::ARGBToYUY2(bgra.data(), kWidth * 4, out.data(), kWidth * 2, kWidth, kHeight);
        if (format == VideoFormat::YVYU) {
            for (size_t i = 0; i < out.size(); i += 4)
                std::swap(out[i + 1], out[i + 3]);
        }
        return out;
    case VideoFormat::UYVY:
    case VideoFormat::HDYC:
        out.resize(area * 2);
        libyuv::ARGBToUYVY(bgra.data(), kWidth * 4, out.data(), kWidth * 2, kWidth, kHeight);
        return out;
    default:
        return out;
    }
}

VideoConfig sampleConfig(VideoFormat format, int cx = kWidth, int cy = kHeight, bool flip = false)
{
    VideoConfig config;
    config.cx = cx;
    config.cy_abs = cy;
    config.cy_flip = flip;
    config.internalFormat = config.format = format;
    return config;
}

TEST_F(CameraInput, RawSamplesOfEveryFormatBecomeTheirPicture)
{
    DShowInput input({ "none:", kWidth, kHeight });
    const struct {
        VideoFormat format;
        bool flip; // the device's flag: a 32-bit RGB sample is bottom-up unless it is set
        bool upsideDown;
        bool grey;
        int tolerance;
    } cases[] = {
        { VideoFormat::ARGB, false, true, false, 0 },
        { VideoFormat::ARGB, true, false, false, 0 },
        { VideoFormat::XRGB, false, true, false, 0 },
        { VideoFormat::I420, false, false, false, 6 },
        { VideoFormat::YV12, false, false, false, 6 },
        { VideoFormat::NV12, false, false, false, 6 },
        { VideoFormat::P010, false, false, false, 6 },
        { VideoFormat::Y800, false, false, true, 6 },
        { VideoFormat::YUY2, false, false, false, 6 },
        { VideoFormat::YVYU, false, false, false, 6 },
        { VideoFormat::UYVY, false, false, false, 6 },
        { VideoFormat::HDYC, false, false, false, 6 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.format)) + (c.flip ? " flipped" : ""));
        std::vector<uint8_t> sample = sampleOf(c.format);
        input.onVideoData(
            sampleConfig(c.format, kWidth, kHeight, c.flip), sample.data(), sample.size(), 0, 0, 0);
        const Polled polled = poll(input);
        ASSERT_EQ(polled.count, 1);
        ASSERT_EQ(polled.width, kWidth);
        ASSERT_EQ(polled.height, kHeight);
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int x = quadrant % 2 ? kWidth * 3 / 4 : kWidth / 4;
            int y = quadrant / 2 ? kHeight * 3 / 4 : kHeight / 4;
            if (c.upsideDown)
                y = kHeight - 1 - y;
            const uint8_t* p = &polled.pixels[(y * kWidth + x) * 4];
            Rgb wanted = kQuadrants[quadrant];
            if (c.grey) {
                const int luma = (wanted.r * 299 + wanted.g * 587 + wanted.b * 114) / 1000;
                wanted = { luma, luma, luma };
            }
            EXPECT_NEAR(p[2], wanted.r, c.tolerance) << "quadrant " << quadrant;
            EXPECT_NEAR(p[1], wanted.g, c.tolerance) << "quadrant " << quadrant;
            EXPECT_NEAR(p[0], wanted.b, c.tolerance) << "quadrant " << quadrant;
        }
    }
}

TEST_F(CameraInput, UnknownAndShortSamplesAreDropped)
{
    DShowInput input({ "none:", 1280, 720 });
    std::vector<uint8_t> sample(1280 * 720 * 2, 0x80);
    for (const VideoFormat format : { VideoFormat::Any, VideoFormat::Unknown, VideoFormat::RGB24 }) {
        input.onVideoData(sampleConfig(format, 1280, 720), sample.data(), sample.size(), 0, 0, 0);
        EXPECT_EQ(poll(input).count, 0) << static_cast<int>(format);
    }

    // Short samples, each in a buffer of its exact size: a read past it would stop the sanitizer run.
    for (const VideoFormat format :
        { VideoFormat::YUY2, VideoFormat::I420, VideoFormat::ARGB, VideoFormat::P010 }) {
        std::vector<uint8_t> shortSample(100, 0x80);
        input.onVideoData(sampleConfig(format, 1280, 720), shortSample.data(), shortSample.size(), 0, 0, 0);
        std::vector<uint8_t> oneByteShort(1280 * 720 * 3 / 2 - 1, 0x80);
        input.onVideoData(
            sampleConfig(VideoFormat::I420, 1280, 720), oneByteShort.data(), oneByteShort.size(), 0, 0, 0);
    }
    EXPECT_EQ(poll(input).count, 0);
    // One line for the burst, at warning level.
    EXPECT_EQ(m_log.count("shorter than a 1280x720 picture"), 1);
    EXPECT_EQ(m_log.levelOf("shorter than a 1280x720 picture"), FK_LOG_WARNING);
    EXPECT_NE(m_log.find("Camera sample of 100 bytes").find("(1843200 bytes)"), std::string::npos)
        << m_log.find("Camera sample");

    // A sample of exactly the size is taken.
    std::vector<uint8_t> exact(1280 * 720 * 3 / 2, 0x80);
    input.onVideoData(sampleConfig(VideoFormat::I420, 1280, 720), exact.data(), exact.size(), 0, 0, 0);
    EXPECT_EQ(poll(input).count, 1);
}

TEST_F(CameraInput, CodedSamplesDecodeAndSwitchCodec)
{
    constexpr codedsamples::Bgr red { 0, 0, 255 }, blue { 255, 0, 0 };
    const auto mjpeg = codedsamples::encode(AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, 64, 48, 40, red, blue);
    const auto h264 = codedsamples::encode(AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, 64, 48, 40, blue, red);
    ASSERT_FALSE(mjpeg.empty());
    ASSERT_FALSE(h264.empty());
    DShowInput input({ "none:", 64, 48 });

    const auto feedUntilPicture
        = [&](const std::vector<std::vector<uint8_t>>& samples, VideoFormat format, codedsamples::Bgr left) {
              for (auto sample : samples) {
                  input.onVideoData(sampleConfig(format, 64, 48), sample.data(), sample.size(), 0, 0, 0);
                  const Polled polled = poll(input);
                  if (polled.count && (polled.pixels[(24 * 64 + 8) * 4] > 128) == (left.b > 128))
                      return polled;
              }
              return Polled {};
          };
    Polled polled = feedUntilPicture(mjpeg, VideoFormat::MJPEG, red);
    ASSERT_EQ(polled.count, 1);
    EXPECT_EQ(polled.width, 64);
    EXPECT_NEAR(polled.pixels[(24 * 64 + 8) * 4 + 2], 255, 8);
    // The camera switches to H.264: the decoder is reopened for it and its pictures come through.
    polled = feedUntilPicture(h264, VideoFormat::H264, blue);
    ASSERT_EQ(polled.count, 1);
    EXPECT_NEAR(polled.pixels[(24 * 64 + 8) * 4], 255, 8);
    EXPECT_EQ(m_log.count("Error decoding video"), 0);
    EXPECT_EQ(m_log.count("Could not initialize video decoder"), 0);

    // A corrupt sample is logged and dropped, and the stream goes on.
    std::vector<uint8_t> corrupt(600, 0x5a);
    input.onVideoData(sampleConfig(VideoFormat::MJPEG, 64, 48), corrupt.data(), corrupt.size(), 0, 0, 0);
    EXPECT_EQ(m_log.count("Error decoding video"), 1);
    EXPECT_EQ(m_log.levelOf("Error decoding video"), FK_LOG_WARNING);
    polled = feedUntilPicture(mjpeg, VideoFormat::MJPEG, red);
    EXPECT_EQ(polled.count, 1);
}

TEST_F(CameraInput, ParameterSetsWithoutPictureLogNothing)
{
    auto h264
        = codedsamples::encode(AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, 64, 48, 1, { 0, 0, 0 }, { 9, 9, 9 });
    ASSERT_EQ(h264.size(), 1u);
    // The parameter sets alone: the decoder wants more.
    std::vector<uint8_t> sample = h264[0];
    sample.resize(codedsamples::bytesBeforeIdr(sample));
    ASSERT_LT(sample.size(), h264[0].size());
    DShowInput input({ "none:", 64, 48 });
    input.onVideoData(sampleConfig(VideoFormat::H264, 64, 48), sample.data(), sample.size(), 0, 0, 0);
    EXPECT_EQ(poll(input).count, 0);
    EXPECT_EQ(m_log.count("Error decoding video"), 0);
    EXPECT_EQ(m_log.count("decoder"), 0);
}

TEST_F(CameraInput, PropertyPageActionsOnlyLog)
{
    DShowInput input({ "none:", 640, 480 });
    ASSERT_TRUE(input.waitActivated(20s));
    for (int action = DShow::ActionConfigVideo; action <= DShow::ActionConfigCrossbar2; ++action)
        input.queueAction(action);
    input.queueAction(0);
    input.queueAction(9);
    ASSERT_TRUE(m_log.waitFor("Property dialog 3: property pages are not supported on Linux"));
    EXPECT_EQ(m_log.count("property pages are not supported on Linux"), 4);
}

int threadCount()
{
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

TEST_F(CameraInput, ConstructionFailuresThrowTheirTextAndLeaveNothingRunning)
{
    const struct {
        int step;
        const char* text;
    } cases[] = {
        { 1, "Failed to create semaphore" },
        { 2, "Failed to create activated_event" },
        { 3, "Failed to create thread" },
    };
    const int threadsBefore = threadCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DShow::setInputCreationFault(c.step);
        std::optional<std::string> thrown;
        try {
            DShowInput input({ "none:", 640, 480 });
        } catch (const char* text) {
            thrown = text;
        }
        DShow::setInputCreationFault(0);
        EXPECT_EQ(thrown, std::optional<std::string>(c.text));
        EXPECT_EQ(threadCount(), threadsBefore);
    }
    EXPECT_EQ(m_log.count("Create DShow"), 0);
}

} // namespace
