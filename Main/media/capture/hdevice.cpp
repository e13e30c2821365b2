#include "media/capture/hdevice.h"

#include "media/capture/captureformats.h"
#include "media/capture/capturelog.h"
#include "media/capture/deviceenum.h"
#include "media/capture/encodeddevices.h"
#include "media/capture/pinhelpers.h"
#include "media/capturecardhdr.h"

#include <chrono>
#include <cstring>
#include <cwchar>
#include <thread>

namespace DShow {
namespace {

    // The IT9910 encoder's switch: its property set and id, and its instance data.
    constexpr GUID kIT9910PropertySet { 0x99100000, 0xA330, 0x11E1,
        { 0xA3, 0x80, 0x99, 0x10, 0x68, 0x64, 0x00, 0x00 } };
    constexpr uint32_t kIT9910PropertyId = 0x9910E001;
    constexpr uint32_t kIT9910Command = 0x38384001;
    // The encoder needs time after its switch before the stream runs or the device goes.
    constexpr std::chrono::milliseconds kEncoderSettle { 5000 };

    bool Contains(const std::wstring& text, const wchar_t* part)
    {
        return text.find(part) != std::wstring::npos;
    }

    bool SwitchIT9910(IBaseFilter* encoder, bool on)
    {
        ComPtr<IKsPropertySet> properties;
        if (FAILED(encoder->QueryInterface(IID_IKsPropertySet, properties.putVoid())))
            return false;
        uint32_t instance[2] = { kIT9910Command, 0 };
        uint32_t data[7] = { 28, 0, 0, 0, kIT9910Command, 0, on ? 1u : 0u };
        return SUCCEEDED(properties->Set(
            kIT9910PropertySet, kIT9910PropertyId, instance, sizeof instance, data, sizeof data));
    }

    bool MapPacketId(IBaseFilter* demuxer, const wchar_t* pinName, ULONG packetId, const wchar_t* noPin,
        const wchar_t* noMap)
    {
        ComPtr<IPin> pin;
        if (!GetPinByName(demuxer, PINDIR_OUTPUT, pinName, pin.put())) {
            Warning(L"%ls", noPin);
            return false;
        }
        ComPtr<IMPEG2PIDMap> map;
        HRESULT hr = pin->QueryInterface(IID_IMPEG2PIDMap, map.putVoid());
        if (SUCCEEDED(hr))
            hr = map->MapPID(1, &packetId, MPEG2_PROGRAM_ELEMENTARY_STREAM);
        if (FAILED(hr)) {
            WarningHR(noMap, hr);
            return false;
        }
        return true;
    }

} // namespace

HDevice::~HDevice()
{
    if (active && control) {
        control->Stop();
        active = false;
    }
    RemoveAllFilters();
    if (rocketEncoder) {
        std::this_thread::sleep_for(kEncoderSettle);
        SwitchIT9910(rocketEncoder, false);
    }
}

// Removes every filter, pass after pass; a pass that removes nothing ends it, so a filter that refuses to
// leave cannot keep the tear-down going forever.
void HDevice::RemoveAllFilters()
{
    if (!graph)
        return;
    for (;;) {
        ComPtr<IEnumFilters> filters;
        if (FAILED(graph->EnumFilters(filters.put())))
            return;
        int found = 0, removed = 0;
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.put(), nullptr) == S_OK) {
            ++found;
            if (SUCCEEDED(graph->RemoveFilter(filter)))
                ++removed;
        }
        if (!found)
            return;
        if (!removed) {
            Warning(L"HDevice: %d filters could not be removed from the graph", found);
            return;
        }
    }
}

bool HDevice::CreateGraph()
{
    if (initialized) {
        Warning(L"Graph already created");
        return false;
    }
    graph.reset();
    builder.reset();
    control.reset();

    HRESULT hr = CoCreateInstance(
        CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph, graph.putVoid());
    if (FAILED(hr)) {
        ErrorHR(L"Failed to create IGraphBuilder", hr);
        return false;
    }
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
        IID_ICaptureGraphBuilder2, builder.putVoid());
    if (FAILED(hr)) {
        ErrorHR(L"Failed to create ICaptureGraphBuilder2", hr);
        return false;
    }
    hr = builder->SetFiltergraph(graph);
    if (FAILED(hr)) {
        ErrorHR(L"Failed to set filter graph", hr);
        return false;
    }
    hr = graph->QueryInterface(IID_IMediaControl, control.putVoid());
    if (FAILED(hr)) {
        ErrorHR(L"Failed to create IMediaControl", hr);
        return false;
    }
    initialized = true;
    return true;
}

bool HDevice::EnsureInitialized(const wchar_t* func)
{
    if (!initialized) {
        Error(L"%ls: context not initialized", func);
        return false;
    }
    return true;
}

bool HDevice::EnsureInactive(const wchar_t* func)
{
    if (active) {
        Error(L"%ls: cannot be used while active", func);
        return false;
    }
    return true;
}

void HDevice::ConvertVideoSettings()
{
    const BITMAPINFOHEADER* bmih = GetBitmapInfoHeader(videoMediaType);
    if (!bmih)
        return;
    Debug(L"Video media type changed");
    videoConfig.cx = bmih->biWidth;
    videoConfig.cy_abs = std::abs(bmih->biHeight);
    videoConfig.cy_flip = bmih->biHeight < 0;
    // Both header kinds keep the frame time at the same place.
    if (const auto* vih = videoMediaType.formatAs<VIDEOINFOHEADER>())
        videoConfig.frameInterval = vih->AvgTimePerFrame;

    const VideoFormat previous = videoConfig.internalFormat;
    GetMediaTypeVFormat(videoMediaType, videoConfig.internalFormat);
    if (videoConfig.format == previous)
        videoConfig.format = videoConfig.internalFormat;
}

bool HDevice::SetVideoConfig(VideoConfig* config)
{
    if (!EnsureInitialized(L"SetVideoConfig") || !EnsureInactive(L"SetVideoConfig"))
        return false;

    videoMediaType = AM_MEDIA_TYPE();
    if (videoFilter) {
        graph->RemoveFilter(videoFilter);
        videoFilter.reset();
    }
    if (videoCapture) {
        graph->RemoveFilter(videoCapture);
        videoCapture.reset();
    }
    if (!config)
        return true;

    if (config->name.empty() && config->path.empty()) {
        Error(L"No video device name or path specified");
        return false;
    }

    ComPtr<IBaseFilter> filter;
    if (!GetDeviceFilter(
            CLSID_VideoInputDeviceCategory, config->name.c_str(), config->path.c_str(), filter.put())) {
        Error(L"Video device '%ls': %ls not found", config->name.c_str(), config->path.c_str());
        return false;
    }
    if (!filter) {
        Error(L"Could not get video filter");
        return false;
    }

    hdr = false;
    reactivatePending = false;
    ComPtr<IKsPropertySet> properties;
    if (SUCCEEDED(filter->QueryInterface(IID_IKsPropertySet, properties.putVoid())))
        hdr = isHdrSignal(properties);

    videoConfig = *config;
    if (!SetupVideoCapture(filter, videoConfig))
        return false;
    *config = videoConfig;
    return true;
}

bool HDevice::SetupVideoCapture(IBaseFilter* filter, VideoConfig& config)
{
    for (const wchar_t* name : kC875Names) {
        if (Contains(config.name, name))
            return SetupEncodedVideoCapture(filter, config, kC875Device);
    }
    if (Contains(config.name, kIT9910Name))
        return SetupEncodedVideoCapture(filter, config, kIT9910Device);
    if (Contains(config.name, kHDPVRName))
        return SetupEncodedVideoCapture(filter, config, kHDPVRDevice);

    queryRoll = Contains(config.name, L"StreamCam");

    ComPtr<IPin> pin;
    if (!GetFilterPin(filter, MEDIATYPE_Video, PIN_CATEGORY_CAPTURE, PINDIR_OUTPUT, pin.put())) {
        if (SetupExceptionVideoCapture(filter, config))
            return true;
        Error(L"Could not get video pin");
        return false;
    }

    ComPtr<IAMStreamConfig> streamConfig;
    if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, streamConfig.putVoid()))) {
        Error(L"Could not get IAMStreamConfig for device");
        return false;
    }

    if (config.useDefaultConfig) {
        AM_MEDIA_TYPE* defaultType = nullptr;
        const HRESULT hr = streamConfig->GetFormat(&defaultType);
        if (hr == E_NOTIMPL) {
            // Take the first video-info type the pin offers.
            ComPtr<IEnumMediaTypes> types;
            bool found = false;
            if (SUCCEEDED(pin->EnumMediaTypes(types.put()))) {
                AM_MEDIA_TYPE* type = nullptr;
                while (!found && types->Next(1, &type, nullptr) == S_OK) {
                    if (type->formattype == FORMAT_VideoInfo) {
                        videoMediaType = *type;
                        found = true;
                    }
                    DeleteMediaType(type);
                }
            }
            if (!found) {
                Error(L"Couldn't get pin media type");
                return false;
            }
        } else if (FAILED(hr) || !defaultType) {
            ErrorHR(L"Could not get default format for video", hr);
            return false;
        } else {
            videoMediaType = *defaultType;
            DeleteMediaType(defaultType);
        }
        ConvertVideoSettings();
        config.internalFormat = VideoFormat::Any;
        config.format = VideoFormat::Any;
    }

    if (!GetClosestVideoMediaType(filter, config, videoMediaType)) {
        Error(L"Could not get closest video media type");
        return false;
    }

    const HRESULT hr = streamConfig->SetFormat(&videoMediaType);
    if (FAILED(hr) && hr != E_NOTIMPL) {
        ErrorHR(L"Could not set video format", hr);
        return false;
    }

    ConvertVideoSettings();

    PinCaptureInfo info;
    info.callback = [this](IMediaSample* sample) { Receive(true, sample); };
    info.expectedMajorType = videoMediaType.majortype;
    info.expectedSubType = SinkSubtype(config.format, videoMediaType.subtype);

    videoCapture = new CaptureFilter(info);
    videoFilter = filter;
    graph->AddFilter(videoCapture, L"Video Capture Filter");
    graph->AddFilter(videoFilter, L"Video Filter");
    return true;
}

bool HDevice::SetupExceptionVideoCapture(IBaseFilter* filter, VideoConfig& config)
{
    ComPtr<IPin> pin;
    if (GetPinByName(filter, PINDIR_OUTPUT, kPin656Name, pin.put()))
        return SetupEncodedVideoCapture(filter, config, kPin656Device);
    if (GetPinByName(filter, PINDIR_OUTPUT, kTSOutPinName, pin.put()))
        return SetupEncodedVideoCapture(filter, config, kTSOutDevice);
    return false;
}

bool HDevice::SetupEncodedVideoCapture(IBaseFilter* filter, VideoConfig& config, const EncodedDevice& info)
{
    ComPtr<IPin> inputPin, outputPin;
    if (!GetPinByName(filter, PINDIR_INPUT, nullptr, inputPin.put())) {
        Warning(L"Encoded Device: Failed to get input pin");
        return false;
    }
    if (!GetPinByName(filter, PINDIR_OUTPUT, nullptr, outputPin.put())) {
        Warning(L"Encoded Device: Failed to get output pin");
        return false;
    }
    REGPINMEDIUM inputMedium {}, outputMedium {};
    if (!GetPinMedium(inputPin, inputMedium)) {
        Warning(L"Encoded Device: Failed to get input pin medium");
        return false;
    }
    const bool hasOutputMedium = GetPinMedium(outputPin, outputMedium);

    ComPtr<IBaseFilter> crossbar, encoder, demuxer;
    if (!GetFilterByMedium(AM_KSCATEGORY_CROSSBAR, inputMedium, crossbar.put())) {
        Warning(L"Encoded Device: Failed to get crossbar filter");
        return false;
    }
    if (hasOutputMedium)
        GetFilterByMedium(KSCATEGORY_ENCODER, outputMedium, encoder.put());
    const HRESULT hr = CoCreateInstance(
        CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, demuxer.putVoid());
    if (FAILED(hr)) {
        WarningHR(L"Encoded Device: Failed to create demuxer", hr);
        return false;
    }

    AM_MEDIA_TYPE videoType, audioType;
    if (!CreateDemuxVideoPin(
            demuxer, videoType, info.width, info.height, info.frameInterval, info.videoFormat))
        return false;
    if (!CreateDemuxAudioPin(demuxer, audioType, info.samplesPerSec, 16, 2, info.audioFormat))
        return false;

    config.cx = info.width;
    config.cy_abs = std::abs(info.height);
    config.cy_flip = info.height < 0;
    config.frameInterval = info.frameInterval;
    config.format = config.internalFormat = info.videoFormat;

    PinCaptureInfo captureInfo;
    captureInfo.callback = [this](IMediaSample* sample) { Receive(true, sample); };
    captureInfo.expectedMajorType = videoType.majortype;
    captureInfo.expectedSubType = videoType.subtype;
    videoCapture = new CaptureFilter(captureInfo);
    videoFilter = demuxer;

    const bool useEncoder = encoder && Contains(config.name, kIT9910Name);
    if (useEncoder) {
        rocketEncoder = encoder;
        if (!SwitchIT9910(encoder, true))
            return false;
    }

    graph->AddFilter(crossbar, L"Crossbar");
    graph->AddFilter(filter, L"Device");
    graph->AddFilter(demuxer, L"Demuxer");
    graph->AddFilter(videoCapture, L"Capture Filter");
    if (useEncoder)
        graph->AddFilter(encoder, L"Encoder");

    bool success = DirectConnectFilters(graph, crossbar, filter);
    if (!success)
        Warning(L"Encoded Device: Failed to connect crossbar to device");
    if (success && useEncoder) {
        success = DirectConnectFilters(graph, filter, encoder);
        if (!success)
            Warning(L"Encoded Device: Failed to connect device to encoder");
        if (success) {
            success = DirectConnectFilters(graph, encoder, demuxer);
            if (!success)
                Warning(L"Encoded Device: Failed to connect encoder to demuxer");
        }
    } else if (success) {
        success = DirectConnectFilters(graph, filter, demuxer);
        if (!success)
            Warning(L"Encoded Device: Failed to connect device to demuxer");
    }
    success = success
        && MapPacketId(demuxer, L"Demuxer Video Pin", info.videoPacketID,
            L"Encoded Device: Could not get video pin from demuxer",
            L"Encoded Device: Failed to map demuxer video pin packet ID")
        && MapPacketId(demuxer, L"Demuxer Audio Pin", info.audioPacketID,
            L"Encoded Device: Could not get audio pin from demuxer",
            L"Encoded Device: Failed to map demuxer audio pin packet ID");
    encodedReady = success;
    return success;
}

bool HDevice::FindCrossbar(IBaseFilter* filter, IBaseFilter** crossbar)
{
    ComPtr<IAMCrossbar> found;
    if (SUCCEEDED(builder->FindInterface(nullptr, nullptr, filter, IID_IAMCrossbar, found.putVoid()))
        && SUCCEEDED(found->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(crossbar))))
        return true;

    ComPtr<IPin> inputPin;
    REGPINMEDIUM medium {};
    if (!GetPinByName(filter, PINDIR_INPUT, nullptr, inputPin.put()) || !GetPinMedium(inputPin, medium))
        return false;
    if (!GetFilterByMedium(AM_KSCATEGORY_CROSSBAR, medium, crossbar))
        return false;
    graph->AddFilter(*crossbar, L"Crossbar Filter");
    return true;
}

bool HDevice::ConnectPins(const GUID& category, const GUID& type, IBaseFilter* filter, IBaseFilter* capture)
{
    if (!EnsureInitialized(L"HDevice::ConnectPins") || !EnsureInactive(L"HDevice::ConnectPins"))
        return false;

    if (type == MEDIATYPE_Video && !encodedReady) {
        ComPtr<IBaseFilter> crossbar;
        if (FindCrossbar(filter, crossbar.put()) && !DirectConnectFilters(graph, crossbar, filter)) {
            Warning(L"HDevice::ConnectPins: Failed to connect crossbar");
            return false;
        }
    }

    ComPtr<IPin> filterPin, capturePin;
    if (!GetFilterPin(filter, type, category, PINDIR_OUTPUT, filterPin.put())) {
        Error(L"HDevice::ConnectPins: Failed to find pin");
        return false;
    }
    if (!GetPinByName(capture, PINDIR_INPUT, nullptr, capturePin.put())) {
        Error(L"HDevice::ConnectPins: Failed to find capture pin");
        return false;
    }
    const HRESULT hr = graph->ConnectDirect(filterPin, capturePin, nullptr);
    if (FAILED(hr)) {
        WarningHR(L"HDevice::ConnectPins: failed to connect pins", hr);
        return false;
    }
    return true;
}

bool HDevice::RenderFilters(const GUID& category, const GUID& type, IBaseFilter* filter, IBaseFilter* capture)
{
    if (!EnsureInitialized(L"HDevice::RenderFilters") || !EnsureInactive(L"HDevice::RenderFilters"))
        return false;
    const HRESULT hr = builder->RenderStream(&category, &type, filter, nullptr, capture);
    if (FAILED(hr)) {
        WarningHR(L"HDevice::ConnectFilters: RenderStream failed", hr);
        return false;
    }
    return true;
}

bool HDevice::ConnectFilters()
{
    if (!EnsureInitialized(L"ConnectFilters") || !EnsureInactive(L"ConnectFilters"))
        return false;

    bool success = true;
    if (videoCapture) {
        setCardTonemapper(videoFilter, videoConfig.format != VideoFormat::P010);
        success = ConnectPins(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, videoFilter, videoCapture);
        if (!success)
            success = RenderFilters(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, videoFilter, videoCapture);
    }
    if (success)
        LogFilters(graph);
    return success;
}

Result HDevice::Start()
{
    if (!EnsureInitialized(L"Start") || !EnsureInactive(L"Start"))
        return Result::Error;

    if (rocketEncoder)
        std::this_thread::sleep_for(kEncoderSettle);

    const HRESULT hr = control->Run();
    if (hr == HRESULT_DEVICE_NOT_FUNCTIONING) {
        WarningHR(L"Run failed, device already in use", hr);
        return Result::InUse;
    }
    if (FAILED(hr)) {
        WarningHR(L"Run failed", hr);
        return Result::Error;
    }
    active = true;
    return Result::Success;
}

void HDevice::OpenDialog(void*, DialogType type)
{
    ComPtr<IBaseFilter> filter;
    if (type == DialogType::ConfigVideo) {
        filter = videoFilter;
    } else if (type == DialogType::ConfigAudio) {
        filter = audioFilter;
    } else if (videoFilter && builder) {
        ComPtr<IAMCrossbar> crossbar;
        HRESULT hr
            = builder->FindInterface(nullptr, nullptr, videoFilter, IID_IAMCrossbar, crossbar.putVoid());
        if (FAILED(hr)) {
            WarningHR(L"Failed to find crossbar", hr);
            return;
        }
        crossbar->QueryInterface(IID_IBaseFilter, filter.putVoid());
        if (type == DialogType::ConfigCrossbar2 && filter) {
            ComPtr<IAMCrossbar> crossbar2;
            hr = builder->FindInterface(
                &LOOK_UPSTREAM_ONLY, nullptr, filter, IID_IAMCrossbar, crossbar2.putVoid());
            if (FAILED(hr)) {
                WarningHR(L"Failed to find crossbar2", hr);
                return;
            }
            crossbar2->QueryInterface(IID_IBaseFilter, filter.putVoid());
        }
    }
    if (!filter) {
        Warning(L"Could not find filter to open dialog type: %d with", static_cast<int>(type));
        return;
    }
    // None of our filters has property pages: there is nothing to show.
}

void HDevice::Receive(bool isVideo, IMediaSample* sample)
{
    if (!isVideo)
        return; // no audio path is ever built
    const bool encoded = static_cast<int>(videoConfig.format) >= static_cast<int>(VideoFormat::MJPEG);
    if (!sample || !videoConfig.callback || reactivatePending)
        return;

    long roll = 0;
    if (queryRoll && videoFilter) {
        ComPtr<IAMCameraControl> camera;
        long flags = 0;
        if (SUCCEEDED(videoFilter->QueryInterface(IID_IAMCameraControl, camera.putVoid())))
            camera->Get(CameraControl_Roll, &roll, &flags);
    }

    if (videoConfig.reactivateCallback && videoFilter) {
        ComPtr<IKsPropertySet> properties;
        if (SUCCEEDED(videoFilter->QueryInterface(IID_IKsPropertySet, properties.putVoid()))) {
            const bool signal = isHdrSignal(properties);
            if (signal != hdr) {
                hdr = signal;
                reactivatePending = true;
                videoConfig.reactivateCallback();
                return;
            }
        }
    }

    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        videoMediaType = *changed;
        DeleteMediaType(changed);
        ConvertVideoSettings();
    }

    const long size = sample->GetActualDataLength();
    if (size <= 0)
        return;
    uint8_t* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return;
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop)))
        start = stop = 0;

    if (!encoded) {
        videoConfig.callback(videoConfig, data, static_cast<size_t>(size), start, stop, roll);
        return;
    }
    if (!encodedVideo.bytes.empty()) {
        videoConfig.callback(videoConfig, encodedVideo.bytes.data(), encodedVideo.bytes.size(),
            encodedVideo.lastStartTime, encodedVideo.lastStopTime, roll);
    }
    encodedVideo.bytes.assign(data, data + size);
    encodedVideo.lastStartTime = start;
    encodedVideo.lastStopTime = stop;
}

} // namespace DShow
