// Device enumeration over a catalog of test devices: capability collection, the closest media type,
// device lookup by name and path, the encoded-device quirks, and what Linux lacks (separate audio
// devices, crossbars, mediums, the demultiplexer, the outside driver's device).
#include "fakedevice.h"

#include "media/capture/capturefilter.h"
#include "media/capture/capturelog.h"
#include "media/capture/deviceenum.h"
#include "media/capture/pinhelpers.h"
#include "media/capture/separateaudio.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

using fakedevice::capsBlock;
using fakedevice::Entry;
using fakedevice::PinSpec;
using fakedevice::videoType;

std::vector<std::wstring>* g_lines = nullptr;

void collectLine(DShow::LogType, const wchar_t* message, void*)
{
    if (g_lines)
        g_lines->push_back(message);
}

struct FakeEntry {
    std::wstring name;
    std::wstring path;
    std::vector<PinSpec> pins;
};

class DeviceEnumTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_lines = &m_lines;
        DShow::SetLogCallback(collectLine, nullptr);
    }
    void TearDown() override
    {
        capture::setCatalog({});
        DShow::SetLogCallback(nullptr, nullptr);
        g_lines = nullptr;
    }

    // The video input category lists these devices; every other category is empty.
    void useVideoDevices(std::vector<FakeEntry> devices)
    {
        capture::setCatalog([devices](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category != CLSID_VideoInputDeviceCategory)
                return entries;
            for (const FakeEntry& device : devices) {
                entries.push_back({ device.name, device.path, [device](IBaseFilter** filter) {
                                       return fakedevice::create(device.name, device.pins, filter);
                                   } });
            }
            return entries;
        });
    }

    bool logged(const std::wstring& line) const
    {
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }

    std::vector<std::wstring> m_lines;
};

std::wstring filterName(IBaseFilter* filter)
{
    FILTER_INFO info;
    filter->QueryFilterInfo(&info);
    if (info.pGraph)
        info.pGraph->Release();
    return info.achName;
}

// Capabilities.

TEST_F(DeviceEnumTest, CollectsCapabilitiesAsTheDriverReportsThem)
{
    PinSpec ranged;
    ranged.entries = {
        { videoType(MEDIASUBTYPE_YUY2, 640, 480, 333333),
            capsBlock(160, 120, 1920, 1080, 16, 8, 333333, 666666) },
        // Zero granularity counts as 1; zero sizes fall back to the header's.
        { videoType(MEDIASUBTYPE_NV12, 800, 600, 333333), capsBlock(0, 0, 1920, 1080, 0, 0, 400000, 400000) },
        // Not listed: a VIDEOINFOHEADER2 type, and an unknown FourCC.
        { videoType(MEDIASUBTYPE_I420, 640, 480, 333333, 0, FORMAT_VideoInfo2),
            capsBlock(640, 480, 640, 480, 1, 1, 1, 1) },
        { videoType(FourCCGuid(MAKEFOURCC('Z', '1', '6', ' ')), 640, 480, 333333),
            capsBlock(640, 480, 640, 480, 1, 1, 1, 1) },
    };
    PinSpec unreported;
    unreported.capabilitiesNotImplemented = true;
    unreported.entries = { { videoType(MEDIASUBTYPE_MJPG, 1280, 720, 333333), std::nullopt },
        { videoType(MEDIASUBTYPE_RGB24, 320, 240, 333333), std::nullopt } };
    useVideoDevices(
        { { L"Ranged", L"/dev/v4l/by-id/ranged", { ranged } }, { L"Unreported", L"", { unreported } } });

    std::vector<DShow::VideoDevice> devices { DShow::VideoDevice {} };
    ASSERT_TRUE(DShow::EnumVideoDevices(devices));
    ASSERT_EQ(devices.size(), 2u);

    const auto& caps = devices[0].caps;
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_EQ(std::tie(caps[0].minCX, caps[0].minCY, caps[0].maxCX, caps[0].maxCY),
        std::make_tuple(160, 120, 1920, 1080));
    EXPECT_EQ(std::tie(caps[0].granularityCX, caps[0].granularityCY), std::make_tuple(16, 8));
    EXPECT_EQ(std::tie(caps[0].minInterval, caps[0].maxInterval), std::make_tuple(333333, 666666));
    EXPECT_EQ(caps[0].format, DShow::VideoFormat::YUY2);
    EXPECT_EQ(std::tie(caps[1].minCX, caps[1].minCY, caps[1].maxCX, caps[1].maxCY),
        std::make_tuple(800, 600, 800, 600));
    EXPECT_EQ(std::tie(caps[1].granularityCX, caps[1].granularityCY), std::make_tuple(1, 1));
    EXPECT_EQ(devices[0].path, L"/dev/v4l/by-id/ranged");
    EXPECT_FALSE(devices[0].audioAttached);
    EXPECT_FALSE(devices[0].separateAudioFilter);

    // Without GetNumberOfCapabilities, each media type is one size at 166833.
    const auto& single = devices[1].caps;
    ASSERT_EQ(single.size(), 2u);
    EXPECT_EQ(std::tie(single[0].minCX, single[0].maxCX, single[0].minCY, single[0].maxCY),
        std::make_tuple(1280, 1280, 720, 720));
    EXPECT_EQ(std::tie(single[0].minInterval, single[0].maxInterval), std::make_tuple(166833, 166833));
    EXPECT_EQ(single[0].format, DShow::VideoFormat::MJPEG);
    EXPECT_EQ(single[1].format, DShow::VideoFormat::XRGB);
    EXPECT_TRUE(devices[1].path.empty());
}

// A driver that reports a smaller capability block than the video one: nothing is read past what it
// wrote, and the zeroed rest falls back to the header's size.
TEST_F(DeviceEnumTest, ShortCapabilityBlocksAreNotOverread)
{
    PinSpec shortCaps;
    shortCaps.capsSize = 16;
    shortCaps.entries = { { videoType(MEDIASUBTYPE_NV12, 800, 600, 333333),
        capsBlock(160, 120, 1920, 1080, 16, 8, 1, 2) } };
    useVideoDevices({ { L"Short", L"/s", { shortCaps } } });

    std::vector<DShow::VideoDevice> devices;
    ASSERT_TRUE(DShow::EnumVideoDevices(devices));
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_EQ(devices[0].caps.size(), 1u);
    const DShow::VideoInfo& info = devices[0].caps[0];
    EXPECT_EQ(std::tie(info.minCX, info.minCY, info.maxCX, info.maxCY), std::make_tuple(800, 600, 800, 600));
    EXPECT_EQ(std::tie(info.granularityCX, info.granularityCY), std::make_tuple(1, 1));
}

TEST_F(DeviceEnumTest, EncodedDevicesAndAudioPins)
{
    PinSpec video;
    video.entries = { { videoType(MEDIASUBTYPE_YUY2, 640, 480, 333333),
        capsBlock(640, 480, 640, 480, 1, 1, 333333, 333333) } };
    PinSpec audio;
    audio.entries = { { AM_MEDIA_TYPE(), std::nullopt } };
    audio.entries[0].type.majortype = MEDIATYPE_Audio;
    PinSpec tsOut { PINDIR_OUTPUT, L"TS Out", std::nullopt, {}, false };
    PinSpec other { PINDIR_OUTPUT, L"Other", std::nullopt, {}, false };
    useVideoDevices({
        { L"Prif Streambox HD", L"p1", { video } },
        { L"Hauppauge HD PVR Capture Device", L"p2", { video } },
        { L"Card With Sound", L"p3", { video, audio } },
        { L"Transport", L"p4", { tsOut } },
        { L"Nothing To Capture", L"p5", { other } },
    });

    std::vector<DShow::VideoDevice> devices;
    ASSERT_TRUE(DShow::EnumVideoDevices(devices));
    ASSERT_EQ(devices.size(), 4u);

    struct Expected {
        const wchar_t* name;
        bool audioAttached;
        DShow::VideoFormat format;
        int width;
        int64_t interval;
    };
    const Expected expected[] = {
        { L"Prif Streambox HD", true, DShow::VideoFormat::H264, 720, 166833 },
        { L"Hauppauge HD PVR Capture Device", true, DShow::VideoFormat::H264, 720, 166833 },
        { L"Card With Sound", true, DShow::VideoFormat::YUY2, 640, 333333 },
        { L"Transport", true, DShow::VideoFormat::H264, 720, 166833 },
    };
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(devices[i].name, expected[i].name);
        EXPECT_EQ(devices[i].audioAttached, expected[i].audioAttached);
        EXPECT_FALSE(devices[i].separateAudioFilter);
        ASSERT_EQ(devices[i].caps.size(), 1u);
        EXPECT_EQ(devices[i].caps[0].format, expected[i].format);
        EXPECT_EQ(devices[i].caps[0].minCX, expected[i].width);
        EXPECT_EQ(devices[i].caps[0].maxCX, expected[i].width);
        EXPECT_EQ(devices[i].caps[0].minInterval, expected[i].interval);
    }
}

// The closest media type.

class ClosestTypeTest : public DeviceEnumTest {
protected:
    ClosestTypeTest()
    {
        m_pin.entries = {
            { videoType(MEDIASUBTYPE_I420, 640, 480, 333333),
                capsBlock(640, 480, 640, 480, 1, 1, 333333, 333333) },
            { videoType(MEDIASUBTYPE_YUY2, 1920, 1080, 333333),
                capsBlock(160, 120, 1920, 1080, 16, 8, 333333, 666666) },
            { videoType(MEDIASUBTYPE_MJPG, 1280, 720, 166666),
                capsBlock(1280, 720, 1280, 720, 1, 1, 166666, 333333) },
            { videoType(MEDIASUBTYPE_RGB32, 640, 480, 333333),
                capsBlock(640, 480, 640, 480, 1, 1, 333333, 333333) },
        };
    }

    struct Choice {
        bool found = false;
        GUID subtype {};
        int width = 0;
        int height = 0;
        REFERENCE_TIME interval = 0;
        int capsRead = 0;
    };

    Choice choose(const PinSpec& pin, const DShow::VideoConfig& config)
    {
        ComPtr<IBaseFilter> filter;
        fakedevice::create(L"Camera", { pin }, filter.put());
        AM_MEDIA_TYPE mt;
        Choice choice;
        choice.found = DShow::GetClosestVideoMediaType(filter, config, mt);
        choice.capsRead = static_cast<fakedevice::Filter*>(filter.get())->pin(0)->streamCapsCalls();
        if (auto* info = mt.formatAs<VIDEOINFOHEADER>()) {
            choice.subtype = mt.subtype;
            choice.width = info->bmiHeader.biWidth;
            choice.height = info->bmiHeader.biHeight;
            choice.interval = info->AvgTimePerFrame;
        }
        return choice;
    }

    static DShow::VideoConfig config(int cx, int cy, int64_t interval,
        DShow::VideoFormat internal = DShow::VideoFormat::Any, bool flip = false)
    {
        DShow::VideoConfig c;
        c.cx = cx;
        c.cy_abs = cy;
        c.cy_flip = flip;
        c.frameInterval = interval;
        c.internalFormat = internal;
        return c;
    }

    PinSpec m_pin;
};

TEST_F(ClosestTypeTest, ScoresAndAdjustsTheBestType)
{
    struct Row {
        const char* label;
        DShow::VideoConfig config;
        GUID subtype;
        int width;
        int height;
        REFERENCE_TIME interval;
    };
    const Row rows[] = {
        // Exact planar fit.
        { "exact", config(640, 480, 333333), MEDIASUBTYPE_I420, 640, 480, 333333 },
        // 650 is outside the fixed I420 size (score 10) but inside the YUY2 range (penalty 5): snapped to
        // the range's granularity, 650 - (650 - 160) % 16 = 640.
        { "snap", config(650, 480, 333333), MEDIASUBTYPE_YUY2, 640, 480, 333333 },
        // Inside every bound of the range: the wanted interval replaces the type's.
        { "interval", config(1280, 720, 500000), MEDIASUBTYPE_YUY2, 1280, 720, 500000 },
        // A bottom-up picture gets a negative height.
        { "flip", config(960, 540, 333333, DShow::VideoFormat::Any, true), MEDIASUBTYPE_YUY2, 960, -536,
            333333 },
        // The internal format excludes the I420 type that fits exactly.
        { "internal", config(640, 480, 333333, DShow::VideoFormat::MJPEG), MEDIASUBTYPE_MJPG, 1280, 720,
            333333 },
        { "rgb", config(640, 480, 333333, DShow::VideoFormat::XRGB), MEDIASUBTYPE_RGB32, 640, 480, 333333 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Choice choice = choose(m_pin, row.config);
        ASSERT_TRUE(choice.found);
        EXPECT_EQ(choice.subtype, row.subtype);
        EXPECT_EQ(choice.width, row.width);
        EXPECT_EQ(choice.height, row.height);
        EXPECT_EQ(choice.interval, row.interval);
    }
}

TEST_F(ClosestTypeTest, ExactMatchEndsTheWalkAndTiesKeepTheFirst)
{
    // Finding the capture pin reads the first capability once; the walk reads the rest.
    EXPECT_EQ(choose(m_pin, config(640, 480, 333333)).capsRead, 1 + 1);
    EXPECT_EQ(choose(m_pin, config(650, 480, 333333)).capsRead, 1 + 4);

    PinSpec twins;
    twins.entries = {
        { videoType(MEDIASUBTYPE_NV12, 800, 600, 333333),
            capsBlock(800, 600, 800, 600, 1, 1, 333333, 333333) },
        { videoType(MEDIASUBTYPE_I420, 800, 600, 333333),
            capsBlock(800, 600, 800, 600, 1, 1, 333333, 333333) },
    };
    const Choice choice = choose(twins, config(640, 480, 333333));
    ASSERT_TRUE(choice.found);
    EXPECT_EQ(choice.subtype, MEDIASUBTYPE_NV12);
    EXPECT_EQ(choice.width, 800);
}

TEST_F(ClosestTypeTest, NothingUsableOrNoPin)
{
    EXPECT_FALSE(choose(m_pin, config(640, 480, 333333, DShow::VideoFormat::H264)).found);

    PinSpec preview = m_pin;
    preview.category = GUID_NULL;
    EXPECT_FALSE(choose(preview, config(640, 480, 333333)).found);
    EXPECT_TRUE(logged(L"GetClosestVideoMediaType: Could not get pin"));
}

// Device lookup.

TEST_F(DeviceEnumTest, GetDeviceFilterPrefersNameAndPath)
{
    // Each device's filter is named after the device's name and path; the catalog counts the filters it
    // makes, so that the walk's end shows.
    PinSpec pin;
    int made = 0;
    capture::setCatalog([&made, pin](const GUID& category) {
        std::vector<capture::DeviceEntry> entries;
        if (category != CLSID_VideoInputDeviceCategory)
            return entries;
        for (const auto& [name, path] :
            { std::pair { L"Cam", L"/a" }, { L"Cam", L"/b" }, { L"Other", L"/c" } }) {
            const std::wstring label = std::wstring(name) + path;
            entries.push_back({ name, path, [label, pin, &made](IBaseFilter** filter) {
                                   ++made;
                                   return fakedevice::create(label, { pin }, filter);
                               } });
        }
        return entries;
    });
    auto lookup = [](const wchar_t* name, const wchar_t* path) {
        ComPtr<IBaseFilter> filter;
        const bool found = DShow::GetDeviceFilter(CLSID_VideoInputDeviceCategory, name, path, filter.put());
        return std::make_pair(found, filter);
    };

    const struct {
        const wchar_t* name;
        const wchar_t* path;
        const wchar_t* chosen;
    } cases[] = {
        { L"Cam", L"/a", L"Cam/a" },
        { L"Cam", L"/b", L"Cam/b" },
        { L"Cam", L"/z", L"Cam/b" }, // no such path: the last device of the name
        { L"Cam", L"", L"Cam/b" },
        { L"", L"/c", L"Other/c" },
        { L"", L"", L"Other/c" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        auto [found, filter] = lookup(c.name, c.path);
        ASSERT_TRUE(found);
        EXPECT_EQ(filterName(filter), c.chosen);
    }

    // An exact name-and-path match ends the walk at once.
    made = 0;
    EXPECT_TRUE(lookup(L"Cam", L"/a").first);
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(lookup(L"Missing", L"/a").first);
}

TEST_F(DeviceEnumTest, EnumDevicesStopsWhenAskedAndListsNoAudio)
{
    PinSpec pin;
    useVideoDevices(
        { { L"One", L"/1", { pin } }, { L"Two", L"/2", { pin } }, { L"Decklink Video", L"", { pin } } });

    std::vector<std::wstring> seen;
    auto collect = [](void* param, IBaseFilter* filter, const wchar_t* name, const wchar_t* path) {
        auto* list = static_cast<std::vector<std::wstring>*>(param);
        list->push_back(std::wstring(name) + L"|" + (path ? path : L"(none)"));
        return filter != nullptr && list->size() < 2;
    };
    ASSERT_TRUE(DShow::EnumDevices(CLSID_VideoInputDeviceCategory, collect, &seen));
    EXPECT_EQ(seen, (std::vector<std::wstring> { L"One|/1", L"Two|/2" }));

    // Listed to the end: the outside driver's device is not installed here, so nothing follows.
    seen.clear();
    auto all = [](void* param, IBaseFilter*, const wchar_t* name, const wchar_t* path) {
        static_cast<std::vector<std::wstring>*>(param)->push_back(
            std::wstring(name) + L"|" + (path ? path : L"(none)"));
        return true;
    };
    ASSERT_TRUE(DShow::EnumDevices(CLSID_VideoInputDeviceCategory, all, &seen));
    EXPECT_EQ(seen, (std::vector<std::wstring> { L"One|/1", L"Two|/2", L"Decklink Video|(none)" }));

    seen.clear();
    EXPECT_TRUE(DShow::EnumDevices(CLSID_AudioInputDeviceCategory, all, &seen));
    EXPECT_TRUE(DShow::EnumDevices(KSCATEGORY_CAPTURE, all, &seen));
    EXPECT_TRUE(seen.empty());
}

// What Linux lacks ends in the failure branch and its log line.

TEST_F(DeviceEnumTest, MissingKernelStreamingPartsAreNotFound)
{
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(
        capture::CreateSyntheticCamera(L"Cam", capture::defaultSyntheticCapabilities(), camera.put()), S_OK);

    ComPtr<IPin> output;
    ASSERT_TRUE(DShow::GetPinByName(camera, PINDIR_OUTPUT, nullptr, output.put()));
    REGPINMEDIUM medium {};
    EXPECT_FALSE(DShow::GetPinMedium(output, medium));
    ComPtr<IBaseFilter> crossbar;
    EXPECT_FALSE(DShow::GetFilterByMedium(AM_KSCATEGORY_CROSSBAR, medium, crossbar.put()));
    EXPECT_TRUE(logged(L"GetFilterByMedium: Failed to create enum moniker (0x00000001): The operation "
                       L"completed, with a negative answer."));

    AM_MEDIA_TYPE mt;
    EXPECT_FALSE(DShow::CreateDemuxVideoPin(camera, mt, 720, 480, 166833, DShow::VideoFormat::H264));
    EXPECT_TRUE(logged(L"CreateDemuxVideoPin: Failed to get IMpeg2Demultiplexer from filter"));
    EXPECT_FALSE(DShow::CreateDemuxVideoPin(camera, mt, 720, 480, 166833, DShow::VideoFormat::MJPEG));
    EXPECT_TRUE(logged(L"CreateDemuxVideoPin: Invalid video format"));
    EXPECT_FALSE(DShow::CreateDemuxAudioPin(camera, mt, 48000, 16, 2, DShow::AudioFormat::AAC));
    EXPECT_TRUE(logged(L"CreateDemuxAudioPin: Failed to get IMpeg2Demultiplexer from filter"));
    EXPECT_FALSE(DShow::CreateDemuxAudioPin(camera, mt, 48000, 16, 2, static_cast<DShow::AudioFormat>(7)));
    EXPECT_TRUE(logged(L"CreateDemuxAudioPin: Invalid audio format"));

    ComPtr<IBaseFilter> audio;
    EXPECT_FALSE(
        DShow::GetDeviceAudioFilter(L"/dev/v4l/by-id/usb-0fd9_Game_Capture-video-index0", audio.put()));
    EXPECT_FALSE(DShow::GetDeviceAudioFilter(
        L"\\\\?\\usb#vid_0fd9&pid_0066&mi_00#7&1&0&0000#{guid}\\global", audio.put()));
}

TEST_F(DeviceEnumTest, DirectConnectFiltersUsesFreePins)
{
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(
        capture::CreateSyntheticCamera(L"Cam", capture::defaultSyntheticCapabilities(), camera.put()), S_OK);
    ComPtr<IBaseFilter> sink(new DShow::CaptureFilter({ nullptr, MEDIATYPE_Video, MEDIASUBTYPE_YUY2 }));
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(
                  CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid()),
        S_OK);
    graph->AddFilter(camera, L"Camera");
    graph->AddFilter(sink, L"Sink");

    EXPECT_TRUE(DShow::DirectConnectFilters(graph, camera, sink));
    EXPECT_FALSE(DShow::DirectConnectFilters(graph, camera, sink)); // nothing free any more
    EXPECT_FALSE(DShow::DirectConnectFilters(graph, sink, camera)); // no output pin on the sink
    AM_MEDIA_TYPE connection;
    ComPtr<IPin> input;
    ASSERT_EQ(sink->FindPin(L"Capture Pin", input.put()), S_OK);
    ASSERT_EQ(input->ConnectionMediaType(&connection), S_OK);
    EXPECT_EQ(connection.subtype, MEDIASUBTYPE_YUY2);

    graph->RemoveFilter(camera);
    graph->RemoveFilter(sink);
}

// The separate-audio strings.

TEST(SeparateAudioTest, InstanceIdsVendorsAndNames)
{
    const std::pair<const wchar_t*, const wchar_t*> ids[] = {
        { L"\\\\?\\usb#vid_0fd9&pid_0066&mi_00#7&2a1b&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
            L"USB\\VID_0FD9&PID_0066&MI_00\\7&2A1B&0&0000" },
        { L"\\??\\pci#ven_1cd7&dev_0010&subsys_00101cd7#4&1&0&00e0#{guid}",
            L"PCI\\VEN_1CD7&DEV_0010&SUBSYS_00101CD7\\4&1&0&00E0" },
        { L"/dev/v4l/by-id/usb-vendor-video-index0", L"/DEV/V4L/BY-ID/USB-VENDOR-VIDEO-INDEX0" },
    };
    for (const auto& [path, id] : ids)
        EXPECT_EQ(DShow::ConvertDevicePathToInstanceId(path), id);

    const std::pair<const wchar_t*, bool> vendors[] = {
        { L"USB\\VID_0FD9&PID_0066", true },
        { L"USB\\VID_EBA4&PID_7588", true },
        { L"USB\\VID_046D&PID_0825", false },
        { L"PCI\\VEN_1CD7&DEV_0010", true },
        { L"PCI\\VEN_8086&DEV_0010&SUBSYS_00011CFA", true },
        { L"PCI\\VEN_8086&DEV_0010&SUBSYS_00018086", false },
        { L"USB\\VID_0F", false },
        { L"/DEV/V4L/BY-ID/USB-0FD9", false },
    };
    for (const auto& [id, known] : vendors) {
        SCOPED_TRACE(testing::Message() << id);
        EXPECT_EQ(DShow::IsKnownCaptureCardVendor(id), known);
    }

    EXPECT_EQ(DShow::NormalizeVideoDeviceName(L"Game Capture HD60 S (Video)"), L"game capture hd60 s ");
    EXPECT_EQ(DShow::NormalizeAudioDeviceName(L"Game Capture HD60 S (Audio)"), L"game capture hd60 s ");
    EXPECT_EQ(DShow::NormalizeVideoDeviceName(L"USB HDMI Video Capture / MultiView"), L"usb  capture");
    EXPECT_EQ(DShow::NormalizeAudioDeviceName(L"USB Audio Capture"), L"usb capture");
    EXPECT_EQ(
        DShow::NormalizeVideoDeviceName(L"Cam Link 4K"), DShow::NormalizeAudioDeviceName(L"Cam Link 4K"));
}

} // namespace
