// The synthetic camera behind the capture library's sink: it delivers the format and interval it was
// connected with, its pictures carry the test pattern with consecutive frame numbers, and stopping the
// graph joins its streaming thread.
#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include "media/capture/capturefilter.h"
#include "support/scoped_env.h"
#include "support/testpattern_reader.h"

#include <gtest/gtest.h>
#include <libyuv/convert_argb.h>

#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;

struct Received {
    size_t size = 0;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    std::optional<uint32_t> number;
    std::chrono::steady_clock::time_point arrival;
};

std::optional<uint32_t> readPicture(const GUID& subtype, const uint8_t* data, int width, int height)
{
    std::vector<uint8_t> bgrx(static_cast<size_t>(width) * height * 4);
    const int stride = width * 4;
    if (subtype == MEDIASUBTYPE_I420) {
        const uint8_t* u = data + width * height;
        const uint8_t* v = u + (width / 2) * (height / 2);
        libyuv::I420ToARGB(data, width, u, width / 2, v, width / 2, bgrx.data(), stride, width, height);
    } else if (subtype == MEDIASUBTYPE_NV12) {
        libyuv::NV12ToARGB(data, width, data + width * height, width, bgrx.data(), stride, width, height);
    } else if (subtype == MEDIASUBTYPE_YUY2) {
        libyuv::YUY2ToARGB(data, width * 2, bgrx.data(), stride, width, height);
    } else if (subtype == MEDIASUBTYPE_RGB24) {
        libyuv::RGB24ToARGB(data, (width * 3 + 3) & ~3, bgrx.data(), stride, width, height);
    } else {
        std::copy(data, data + bgrx.size(), bgrx.begin());
    }
    return testpattern_reader::readBgrx(bgrx.data(), stride, width, height);
}

size_t pictureBytes(const GUID& subtype, int width, int height)
{
    if (subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_NV12)
        return static_cast<size_t>(width) * height * 3 / 2;
    if (subtype == MEDIASUBTYPE_YUY2)
        return static_cast<size_t>(width) * height * 2;
    if (subtype == MEDIASUBTYPE_RGB24)
        return static_cast<size_t>((width * 3 + 3) & ~3) * height;
    return static_cast<size_t>(width) * height * 4;
}

int threadCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

// A camera and the library's sink in one graph, the camera's format chosen through its stream
// configuration.
class SyntheticGraph {
public:
    SyntheticGraph(const std::vector<capture::SyntheticCapability>& caps, const GUID& subtype, int width,
        int height, REFERENCE_TIME interval)
        : m_subtype(subtype)
        , m_width(width)
        , m_height(height)
    {
        EXPECT_EQ(capture::CreateSyntheticCamera(L"Synthetic", caps, m_camera.put()), S_OK);
        EXPECT_EQ(CoCreateInstance(
                      CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, m_graph.putVoid()),
            S_OK);
        m_graph.as(IID_IMediaControl, m_control);
        DShow::PinCaptureInfo info { [this](IMediaSample* sample) { onSample(sample); }, MEDIATYPE_Video,
            subtype };
        m_sink = new DShow::CaptureFilter(info);
        EXPECT_EQ(m_graph->AddFilter(m_camera, L"Video Filter"), S_OK);
        EXPECT_EQ(m_graph->AddFilter(m_sink, L"Video Capture Filter"), S_OK);

        ComPtr<IPin> output;
        EXPECT_EQ(m_camera->FindPin(L"Capture", output.put()), S_OK);
        ComPtr<IAMStreamConfig> config;
        EXPECT_EQ(output.as(IID_IAMStreamConfig, config), S_OK);
        int count = 0, size = 0;
        config->GetNumberOfCapabilities(&count, &size);
        std::vector<uint8_t> block(static_cast<size_t>(size));
        for (int i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* type = nullptr;
            if (config->GetStreamCaps(i, &type, block.data()) != S_OK)
                continue;
            auto* info = type->formatAs<VIDEOINFOHEADER>();
            if (type->subtype == subtype && info->bmiHeader.biWidth == width
                && std::abs(info->bmiHeader.biHeight) == height) {
                info->AvgTimePerFrame = interval;
                EXPECT_EQ(config->SetFormat(type), S_OK);
            }
            DeleteMediaType(type);
        }
        ComPtr<IPin> input;
        EXPECT_EQ(m_sink->FindPin(L"Capture Pin", input.put()), S_OK);
        m_connected = m_graph->ConnectDirect(output, input, nullptr);
    }

    ~SyntheticGraph()
    {
        m_control->Stop();
        m_graph->RemoveFilter(m_sink);
        m_graph->RemoveFilter(m_camera);
    }

    HRESULT connected() const { return m_connected; }
    IMediaControl* control() { return m_control; }
    IBaseFilter* sink() { return m_sink; }

    // Waits until `count` pictures arrived; false at the deadline.
    bool waitFor(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, 20s, [&] { return m_received.size() >= count; });
    }
    std::vector<Received> received()
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    void onSample(IMediaSample* sample)
    {
        Received r;
        r.arrival = std::chrono::steady_clock::now();
        r.size = static_cast<size_t>(sample->GetActualDataLength());
        sample->GetTime(&r.start, &r.stop);
        uint8_t* data = nullptr;
        sample->GetPointer(&data);
        if (r.size == pictureBytes(m_subtype, m_width, m_height))
            r.number = readPicture(m_subtype, data, m_width, m_height);
        std::lock_guard lock(m_mutex);
        m_received.push_back(r);
        m_arrived.notify_all();
    }

    GUID m_subtype;
    int m_width;
    int m_height;
    ComPtr<IBaseFilter> m_camera;
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<DShow::CaptureFilter> m_sink;
    HRESULT m_connected = E_FAIL;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Received> m_received;
};

struct StreamCase {
    const char* label;
    GUID subtype;
    int width;
    int height;
    REFERENCE_TIME interval;
};

class SyntheticStreamingTest : public testing::TestWithParam<StreamCase> { };

TEST_P(SyntheticStreamingTest, DeliversTheFormatAndIntervalAsked)
{
    const StreamCase& c = GetParam();
    // The camera offers a range of rates, so the asked interval is not simply its only one.
    std::vector<capture::SyntheticCapability> caps;
    for (const GUID& subtype :
        { MEDIASUBTYPE_I420, MEDIASUBTYPE_NV12, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24 })
        caps.push_back({ subtype, c.width, c.height, 166667, 1000000 });
    SyntheticGraph graph(caps, c.subtype, c.width, c.height, c.interval);
    ASSERT_EQ(graph.connected(), S_OK);

    AM_MEDIA_TYPE connection;
    ComPtr<IPin> input;
    ASSERT_EQ(graph.sink()->FindPin(L"Capture Pin", input.put()), S_OK);
    ASSERT_EQ(input->ConnectionMediaType(&connection), S_OK);
    EXPECT_EQ(connection.subtype, c.subtype);
    EXPECT_EQ(connection.formatAs<VIDEOINFOHEADER>()->AvgTimePerFrame, c.interval);

    const auto runAt = std::chrono::steady_clock::now();
    ASSERT_EQ(graph.control()->Run(), S_OK);
    constexpr size_t kFrames = 5;
    ASSERT_TRUE(graph.waitFor(kFrames));
    ASSERT_EQ(graph.control()->Stop(), S_OK);

    const auto frames = graph.received();
    for (size_t i = 0; i < kFrames; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].size, pictureBytes(c.subtype, c.width, c.height));
        EXPECT_EQ(frames[i].start, static_cast<REFERENCE_TIME>(i) * c.interval);
        EXPECT_EQ(frames[i].stop - frames[i].start, c.interval);
        ASSERT_TRUE(frames[i].number.has_value());
        EXPECT_EQ(*frames[i].number, i);
    }
    // Paced by the camera: picture n is not sent before n intervals after the start.
    const auto elapsed = frames[kFrames - 1].arrival - runAt;
    EXPECT_GE(elapsed, std::chrono::nanoseconds(c.interval * 100 * (kFrames - 1)));
}

INSTANTIATE_TEST_SUITE_P(Formats, SyntheticStreamingTest,
    testing::Values(StreamCase { "I420", MEDIASUBTYPE_I420, 640, 480, 333333 },
        StreamCase { "NV12", MEDIASUBTYPE_NV12, 320, 240, 500000 },
        StreamCase { "YUY2", MEDIASUBTYPE_YUY2, 640, 480, 200000 },
        StreamCase { "XRGB", MEDIASUBTYPE_RGB32, 1280, 720, 333333 },
        StreamCase { "RGB24", MEDIASUBTYPE_RGB24, 642, 480, 333333 }),
    [](const testing::TestParamInfo<StreamCase>& info) { return info.param.label; });

TEST(SyntheticCameraTest, StopJoinsTheStreamingThread)
{
    const int before = threadCount();
    {
        SyntheticGraph graph(capture::defaultSyntheticCapabilities(), MEDIASUBTYPE_I420, 640, 480, 333333);
        ASSERT_EQ(graph.connected(), S_OK);
        ASSERT_EQ(graph.control()->Run(), S_OK);
        ASSERT_TRUE(graph.waitFor(2));
        EXPECT_EQ(threadCount(), before + 1);
        ASSERT_EQ(graph.control()->Stop(), S_OK);
        EXPECT_EQ(threadCount(), before);
        const size_t delivered = graph.received().size();

        // Started again, it delivers again from frame 0; destroyed while running, it stops first.
        ASSERT_EQ(graph.control()->Run(), S_OK);
        ASSERT_TRUE(graph.waitFor(delivered + 1));
        EXPECT_EQ(graph.received()[delivered].start, 0);
    }
    EXPECT_EQ(threadCount(), before);
}

TEST(SyntheticCameraTest, RefusesFormatsItCannotMake)
{
    ComPtr<IBaseFilter> camera;
    EXPECT_EQ(capture::CreateSyntheticCamera(
                  L"Odd", { { MEDIASUBTYPE_UYVY, 640, 480, 333333, 333333 } }, camera.put()),
        E_INVALIDARG);
    EXPECT_EQ(capture::CreateSyntheticCamera(
                  L"Odd", { { MEDIASUBTYPE_I420, 641, 480, 333333, 333333 } }, camera.put()),
        E_INVALIDARG);

    ASSERT_EQ(
        capture::CreateSyntheticCamera(L"Cam", capture::defaultSyntheticCapabilities(), camera.put()), S_OK);
    ComPtr<IPin> output;
    ASSERT_EQ(camera->FindPin(L"Capture", output.put()), S_OK);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(output.as(IID_IAMStreamConfig, config), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    type->formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 800; // no such size
    EXPECT_EQ(config->SetFormat(type), VFW_E_INVALIDMEDIATYPE);
    type->formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 640;
    type->formatAs<VIDEOINFOHEADER>()->AvgTimePerFrame = 166667; // faster than it runs
    EXPECT_EQ(config->SetFormat(type), VFW_E_INVALIDMEDIATYPE);
    DeleteMediaType(type);
}

TEST(SyntheticCameraTest, ListedFirstUnderTheNameTheEnvironmentGives)
{
    ScopedEnv name(capture::kSyntheticCameraVariable, std::string("Test Camera: front"));
    capture::setCatalog({});
    const auto cameras = capture::listCameras();
    ASSERT_FALSE(cameras.empty());
    EXPECT_EQ(cameras[0].name, L"Test Camera- front");
    EXPECT_EQ(cameras[0].uniqueId, capture::syntheticCameraPath(L"Test Camera- front"));
    ASSERT_EQ(cameras[0].modes.size(), 10u);
    EXPECT_EQ(cameras[0].modes[0].width, 640);
    EXPECT_EQ(cameras[0].modes[0].height, 480);
    EXPECT_EQ(cameras[0].modes[0].fps, 30);
    EXPECT_EQ(cameras[0].modes[9].width, 1280);
    EXPECT_EQ(cameras[0].modes[9].height, 720);
}

} // namespace
