// The capture device over its graph: guards, device lookup, the default format, starting, samples from the
// synthetic camera (raw and coded), HDR re-activation, format changes and tear-down.
#include "fakecard.h"
#include "fakedevice.h"

#include "media/capture/capturelog.h"
#include "media/capture/dshowdevice.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include "support/testpattern_reader.h"

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using DShow::Device;
using DShow::InitGraph;
using DShow::Result;
using DShow::VideoConfig;
using DShow::VideoFormat;

std::mutex g_logMutex;
std::vector<std::wstring> g_lines;

void collect(DShow::LogType, const wchar_t* message, void*)
{
    std::lock_guard lock(g_logMutex);
    g_lines.push_back(message);
}

bool logged(const std::wstring& line)
{
    std::lock_guard lock(g_logMutex);
    return std::find(g_lines.begin(), g_lines.end(), line) != g_lines.end();
}

// Polls a condition until it holds or the deadline passes.
template <typename Predicate> bool eventually(Predicate predicate)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct Delivery {
    int width;
    int height;
    VideoFormat format;
    std::vector<uint8_t> bytes;
    long long start;
    long long stop;
    int deliveredBefore; // samples the camera had handed over when this callback ran
};

// Collects the video callbacks of a device.
class Collector {
public:
    explicit Collector(std::shared_ptr<capture::SyntheticScript> script = nullptr)
        : m_script(std::move(script))
    {
    }

    DShow::VideoProc proc()
    {
        return [this](const VideoConfig& config, unsigned char* data, size_t size, long long start,
                   long long stop, long) {
            std::lock_guard lock(m_mutex);
            m_deliveries.push_back(
                { config.cx, config.cy_abs, config.internalFormat, std::vector<uint8_t>(data, data + size),
                    start, stop, m_script ? m_script->delivered.load() : 0 });
            m_arrived.notify_all();
        };
    }
    bool waitFor(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, 20s, [&] { return m_deliveries.size() >= count; });
    }
    std::vector<Delivery> deliveries()
    {
        std::lock_guard lock(m_mutex);
        return m_deliveries;
    }
    size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_deliveries.size();
    }

private:
    std::shared_ptr<capture::SyntheticScript> m_script;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Delivery> m_deliveries;
};

class DeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        {
            std::lock_guard lock(g_logMutex);
            g_lines.clear();
        }
        DShow::SetLogCallback(collect, nullptr);
        useCamera(L"Synthetic", capture::defaultSyntheticCapabilities());
    }
    void TearDown() override
    {
        capture::setCatalog({});
        DShow::SetLogCallback(nullptr, nullptr);
    }

    void useCamera(const std::wstring& name, std::vector<capture::SyntheticCapability> caps)
    {
        m_script = std::make_shared<capture::SyntheticScript>();
        auto script = m_script;
        capture::setCatalog([name, caps, script](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category == CLSID_VideoInputDeviceCategory)
                entries.push_back(capture::syntheticCameraEntry(name, caps, script));
            return entries;
        });
    }

    void useFake(const std::wstring& name, std::vector<fakedevice::PinSpec> pins, bool refuseToLeave = false)
    {
        capture::setCatalog([name, pins, refuseToLeave](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category == CLSID_VideoInputDeviceCategory) {
                entries.push_back({ name, L"/fake", [name, pins, refuseToLeave](IBaseFilter** filter) {
                                       return fakedevice::create(name, pins, filter, refuseToLeave);
                                   } });
            }
            return entries;
        });
    }

    static VideoConfig config(const std::wstring& name, int cx, int cy,
        VideoFormat internal = VideoFormat::Any, VideoFormat format = VideoFormat::Any)
    {
        VideoConfig c;
        c.name = name;
        c.path = capture::syntheticCameraPath(name);
        c.useDefaultConfig = false;
        c.cx = cx;
        c.cy_abs = cy;
        c.frameInterval = 333333;
        c.internalFormat = internal;
        c.format = format;
        return c;
    }

    std::shared_ptr<capture::SyntheticScript> m_script;
};

TEST_F(DeviceTest, GuardsNameTheOperation)
{
    Device uninitialised;
    VideoConfig c = config(L"Synthetic", 640, 480);
    EXPECT_FALSE(uninitialised.SetVideoConfig(&c));
    EXPECT_FALSE(uninitialised.ConnectFilters());
    EXPECT_EQ(uninitialised.Start(), Result::Error);
    EXPECT_TRUE(logged(L"SetVideoConfig: context not initialized"));
    EXPECT_TRUE(logged(L"ConnectFilters: context not initialized"));
    EXPECT_TRUE(logged(L"Start: context not initialized"));

    Collector collector;
    Device device(InitGraph::True);
    c.callback = collector.proc();
    ASSERT_TRUE(device.SetVideoConfig(&c));
    ASSERT_TRUE(device.ConnectFilters());
    ASSERT_EQ(device.Start(), Result::Success);
    EXPECT_FALSE(device.SetVideoConfig(&c));
    EXPECT_FALSE(device.ConnectFilters());
    EXPECT_EQ(device.Start(), Result::Error);
    EXPECT_TRUE(logged(L"SetVideoConfig: cannot be used while active"));
    EXPECT_TRUE(logged(L"ConnectFilters: cannot be used while active"));
    EXPECT_TRUE(logged(L"Start: cannot be used while active"));

    // A shut-down device has no graph again.
    device.ShutdownGraph();
    EXPECT_FALSE(device.ConnectFilters());
    EXPECT_TRUE(device.ResetGraph());
}

TEST_F(DeviceTest, DeviceNamesThatFindNothing)
{
    Device device(InitGraph::True);
    VideoConfig empty;
    EXPECT_FALSE(device.SetVideoConfig(&empty));
    EXPECT_TRUE(logged(L"No video device name or path specified"));

    VideoConfig missing;
    missing.name = L"Kamera 前置";
    missing.path = L"/dev/v4l/by-id/none";
    EXPECT_FALSE(device.SetVideoConfig(&missing));
    EXPECT_TRUE(logged(L"Video device 'Kamera 前置': /dev/v4l/by-id/none not found"));

    EXPECT_TRUE(device.SetVideoConfig(nullptr)); // clears the video path

    useCamera(L"Test C875", capture::defaultSyntheticCapabilities());
    VideoConfig quirk = config(L"Test C875", 640, 480);
    EXPECT_FALSE(device.SetVideoConfig(&quirk));
    EXPECT_TRUE(logged(L"Encoded Device: Failed to get input pin"));
}

TEST_F(DeviceTest, DefaultFormatFromADriverWithoutGetFormat)
{
    // The fake answers E_NOTIMPL to GetFormat and to SetFormat.
    fakedevice::PinSpec pin;
    pin.entries = {
        { fakedevice::videoType(MEDIASUBTYPE_I420, 1280, 720, 333333, 0, FORMAT_VideoInfo2), std::nullopt },
        { fakedevice::videoType(MEDIASUBTYPE_YUY2, 800, 600, 400000),
            fakedevice::capsBlock(800, 600, 800, 600, 1, 1, 400000, 400000) },
    };
    useFake(L"Driver", { pin });

    Device device(InitGraph::True);
    VideoConfig c;
    c.name = L"Driver";
    c.cx = 1920;
    c.internalFormat = VideoFormat::MJPEG; // forgotten: the default format starts from Any
    ASSERT_TRUE(device.SetVideoConfig(&c));
    EXPECT_EQ(c.cx, 800);
    EXPECT_EQ(c.cy_abs, 600);
    EXPECT_EQ(c.frameInterval, 400000);
    EXPECT_EQ(c.internalFormat, VideoFormat::YUY2);
    EXPECT_EQ(c.format, VideoFormat::YUY2);
    EXPECT_TRUE(device.ConnectFilters());

    fakedevice::PinSpec nothingUsable;
    nothingUsable.entries
        = { { fakedevice::videoType(MEDIASUBTYPE_I420, 640, 480, 1, 0, FORMAT_VideoInfo2), std::nullopt } };
    useFake(L"Driver", { nothingUsable });
    VideoConfig again;
    again.name = L"Driver";
    EXPECT_FALSE(device.SetVideoConfig(&again));
    EXPECT_TRUE(logged(L"Couldn't get pin media type"));
}

TEST_F(DeviceTest, StartReportsABusyDeviceApart)
{
    for (const bool busy : { true, false }) {
        SCOPED_TRACE(busy ? "busy" : "broken");
        useCamera(L"Synthetic", capture::defaultSyntheticCapabilities());
        if (busy)
            m_script->busy = true;
        else
            m_script->runFailure = E_FAIL;
        Collector collector;
        Device device(InitGraph::True);
        VideoConfig c = config(L"Synthetic", 640, 480);
        c.callback = collector.proc();
        ASSERT_TRUE(device.SetVideoConfig(&c));
        ASSERT_TRUE(device.ConnectFilters());
        EXPECT_EQ(device.Start(), busy ? Result::InUse : Result::Error);
    }
    EXPECT_TRUE(logged(L"Run failed, device already in use (0x8007001F): A device attached to the system is "
                       L"not functioning."));
    EXPECT_TRUE(logged(L"Run failed (0x80004005): Unspecified error."));
}

TEST_F(DeviceTest, DeliversRawPicturesAsConfigured)
{
    Collector collector(m_script);
    {
        Device device(InitGraph::True);
        VideoConfig c = config(L"Synthetic", 640, 480, VideoFormat::Any, VideoFormat::I420);
        c.callback = collector.proc();
        ASSERT_TRUE(device.SetVideoConfig(&c));
        EXPECT_EQ(c.internalFormat, VideoFormat::I420);
        EXPECT_EQ(c.cx, 640);
        EXPECT_EQ(c.cy_abs, 480);
        EXPECT_FALSE(c.cy_flip);
        ASSERT_TRUE(device.ConnectFilters());
        EXPECT_TRUE(logged(L"Loaded filters:"));
        ASSERT_EQ(device.Start(), Result::Success);
        ASSERT_TRUE(collector.waitFor(3));
    }
    const auto deliveries = collector.deliveries();
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(deliveries[i].bytes.size(), 640u * 480 * 3 / 2);
        EXPECT_EQ(deliveries[i].start, static_cast<long long>(i) * 333333);
        EXPECT_EQ(deliveries[i].deliveredBefore, static_cast<int>(i) + 1);
    }
}

TEST_F(DeviceTest, CodedPicturesArriveOneLate)
{
    struct Case {
        GUID subtype;
        VideoFormat format;
    };
    for (const Case& coded :
        { Case { MEDIASUBTYPE_MJPG, VideoFormat::MJPEG }, Case { MEDIASUBTYPE_H264, VideoFormat::H264 } }) {
        SCOPED_TRACE(static_cast<int>(coded.format));
        useCamera(L"Synthetic", { { coded.subtype, 640, 480, 333333, 333333 } });
        Collector collector(m_script);
        {
            Device device(InitGraph::True);
            VideoConfig c = config(L"Synthetic", 640, 480, coded.format, coded.format);
            c.callback = collector.proc();
            ASSERT_TRUE(device.SetVideoConfig(&c));
            EXPECT_EQ(c.format, coded.format);
            ASSERT_TRUE(device.ConnectFilters());
            ASSERT_EQ(device.Start(), Result::Success);
            ASSERT_TRUE(collector.waitFor(3));
        }
        const auto deliveries = collector.deliveries();
        for (size_t n = 0; n < 3; ++n) {
            SCOPED_TRACE(n);
            // The n-th callback runs while sample n + 1 arrives, and carries sample n with its times.
            EXPECT_EQ(deliveries[n].deliveredBefore, static_cast<int>(n) + 2);
            EXPECT_EQ(deliveries[n].start, static_cast<long long>(n) * 333333);
            EXPECT_EQ(deliveries[n].stop, static_cast<long long>(n + 1) * 333333);
            ASSERT_GT(deliveries[n].bytes.size(), 4u);
        }
        if (coded.format == VideoFormat::MJPEG) {
            QImage picture;
            ASSERT_TRUE(picture.loadFromData(
                deliveries[1].bytes.data(), static_cast<int>(deliveries[1].bytes.size()), "JPG"));
            picture = picture.convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(testpattern_reader::readBgrx(
                          picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height()),
                1u);
        } else {
            const std::vector<uint8_t> startCode { 0, 0, 0, 1 };
            EXPECT_TRUE(std::equal(startCode.begin(), startCode.end(), deliveries[0].bytes.begin()));
        }
    }
}

TEST_F(DeviceTest, Rgb24ReachesTheSinkAsRgb32)
{
    useCamera(L"Synthetic", { { MEDIASUBTYPE_RGB24, 640, 480, 333333, 333333 } });
    Collector collector(m_script);
    {
        Device device(InitGraph::True);
        VideoConfig c = config(L"Synthetic", 640, 480, VideoFormat::Any, VideoFormat::XRGB);
        c.callback = collector.proc();
        ASSERT_TRUE(device.SetVideoConfig(&c));
        EXPECT_EQ(c.internalFormat, VideoFormat::XRGB); // RGB24 classifies as XRGB
        ASSERT_TRUE(device.ConnectFilters());
        EXPECT_TRUE(logged(L"\tRGB24 to RGB32"));
        ASSERT_EQ(device.Start(), Result::Success);
        ASSERT_TRUE(collector.waitFor(2));
    }
    const auto d = collector.deliveries();
    ASSERT_EQ(d[1].bytes.size(), 640u * 480 * 4);
    // Asked with a positive height, RGB rows come bottom-up: read from the last row up.
    EXPECT_EQ(testpattern_reader::readBgrx(d[1].bytes.data() + 640 * 4 * 479, -640 * 4, 640, 480), 1u);
}

TEST_F(DeviceTest, HdrFlipReactivatesOnceAndHoldsDelivery)
{
    ComPtr<fakecard::Card> card(new fakecard::Card);
    card->setInfoFrame(fakecard::drmInfoFrame(0));
    m_script->cardProperties = static_cast<IKsPropertySet*>(card.get());

    Collector collector(m_script);
    std::atomic<int> reactivations { 0 };
    Device device(InitGraph::True);
    VideoConfig c = config(L"Synthetic", 640, 480, VideoFormat::Any, VideoFormat::I420);
    c.callback = collector.proc();
    c.reactivateCallback = [&] { ++reactivations; };
    ASSERT_TRUE(device.SetVideoConfig(&c));
    ASSERT_TRUE(device.ConnectFilters());
    // SDR in: the tone mapper goes on for every format but P010, through the card's own property set.
    ASSERT_FALSE(card->sets().empty());
    ASSERT_EQ(device.Start(), Result::Success);
    ASSERT_TRUE(collector.waitFor(2));

    card->setInfoFrame(fakecard::drmInfoFrame(2)); // SMPTE ST 2084
    ASSERT_TRUE(eventually([&] { return reactivations.load() == 1; }));
    const size_t held = collector.count();
    const int deliveredAtFlip = m_script->delivered;
    ASSERT_TRUE(eventually([&] { return m_script->delivered >= deliveredAtFlip + 3; }));
    EXPECT_EQ(reactivations.load(), 1);
    EXPECT_EQ(collector.count(), held);

    // Set up again: pictures flow, and the HDR state is the new one, so no second re-activation.
    ASSERT_TRUE(device.ResetGraph());
    ASSERT_TRUE(device.SetVideoConfig(&c));
    ASSERT_TRUE(device.ConnectFilters());
    ASSERT_EQ(device.Start(), Result::Success);
    ASSERT_TRUE(collector.waitFor(held + 2));
    EXPECT_EQ(reactivations.load(), 1);
    device.ShutdownGraph();
    m_script->cardProperties.reset();
}

TEST_F(DeviceTest, FormatChangeMidStreamUpdatesTheConfiguration)
{
    m_script->changedWidth = 320;
    m_script->changedHeight = 240;
    m_script->changeFormatAt = 2;
    m_script->shortSampleAt = 4;
    Collector collector(m_script);
    {
        Device device(InitGraph::True);
        VideoConfig c = config(L"Synthetic", 640, 480, VideoFormat::Any, VideoFormat::I420);
        c.callback = collector.proc();
        ASSERT_TRUE(device.SetVideoConfig(&c));
        ASSERT_TRUE(device.ConnectFilters());
        ASSERT_EQ(device.Start(), Result::Success);
        ASSERT_TRUE(collector.waitFor(5));
    }
    const auto d = collector.deliveries();
    EXPECT_EQ(std::make_pair(d[1].width, d[1].bytes.size()), std::make_pair(640, size_t(640 * 480 * 3 / 2)));
    EXPECT_EQ(std::make_pair(d[2].width, d[2].height), std::make_pair(320, 240));
    EXPECT_EQ(d[2].bytes.size(), size_t(320 * 240 * 3 / 2));
    EXPECT_EQ(d[4].bytes.size(), size_t(320 * 240 * 3 / 4)); // the short sample, as long as it says
    EXPECT_TRUE(logged(L"Video media type changed"));
}

TEST_F(DeviceTest, TearDownEndsWhenAFilterRefusesToLeave)
{
    fakedevice::PinSpec pin;
    pin.entries = { { fakedevice::videoType(MEDIASUBTYPE_YUY2, 640, 480, 333333),
        fakedevice::capsBlock(640, 480, 640, 480, 1, 1, 333333, 333333) } };
    useFake(L"Stubborn", { pin }, true);
    {
        Device device(InitGraph::True);
        VideoConfig c;
        c.name = L"Stubborn";
        c.useDefaultConfig = false;
        c.cx = 640;
        c.cy_abs = 480;
        c.frameInterval = 333333;
        ASSERT_TRUE(device.SetVideoConfig(&c));
        ASSERT_TRUE(device.ConnectFilters());
    }
    EXPECT_TRUE(logged(L"HDevice: 1 filters could not be removed from the graph"));
}

} // namespace
