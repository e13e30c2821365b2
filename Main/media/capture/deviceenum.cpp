#include "media/capture/deviceenum.h"

#include "media/capture/captureformats.h"
#include "media/capture/capturelog.h"
#include "media/capture/encodeddevices.h"
#include "media/capture/pinhelpers.h"
#include "media/capture/separateaudio.h"

#include <cstdlib>
#include <cwchar>
#include <mutex>

namespace DShow {
namespace {

    // An outside capture driver's filter, listed after the video devices when it is installed.
    constexpr CLSID kElgatoClass { 0x39F50F4C, 0x99E1, 0x464A,
        { 0xB6, 0xF9, 0xD6, 0x05, 0xB4, 0xFB, 0x59, 0x18 } };
    constexpr wchar_t kElgatoName[] = L"Elgato Game Capture HD";
    constexpr wchar_t kElgatoPath[] = L"__elgato";

    // A driver that cannot report its capabilities gets this interval (59.94 frames per second).
    constexpr int64_t kDefaultInterval = 166833;

    std::recursive_mutex& enumMutex()
    {
        static std::recursive_mutex mutex;
        return mutex;
    }

    bool Contains(const wchar_t* text, const wchar_t* part)
    {
        return text && std::wcsstr(text, part) != nullptr;
    }

    int64_t Distance(int64_t value, int64_t minimum, int64_t maximum)
    {
        if (value < minimum)
            return minimum - value;
        if (value > maximum)
            return value - maximum;
        return 0;
    }

    void AddEncodedDevice(std::vector<VideoDevice>& devices, const wchar_t* name, const wchar_t* path,
        const EncodedDevice& description)
    {
        VideoDevice device;
        device.name = name;
        if (path)
            device.path = path;
        device.audioAttached = true;
        device.separateAudioFilter = false;

        VideoInfo info;
        info.minCX = info.maxCX = description.width;
        info.minCY = info.maxCY = description.height;
        info.granularityCX = info.granularityCY = 1;
        info.minInterval = info.maxInterval = description.frameInterval;
        info.format = description.videoFormat;
        device.caps.push_back(info);
        devices.push_back(std::move(device));
    }

    bool EnumVideoDevice(
        void* param, IBaseFilter* filter, const wchar_t* deviceName, const wchar_t* devicePath)
    {
        auto& devices = *static_cast<std::vector<VideoDevice>*>(param);

        for (const wchar_t* name : kC875Names) {
            if (Contains(deviceName, name)) {
                AddEncodedDevice(devices, deviceName, devicePath, kC875Device);
                return true;
            }
        }
        if (Contains(deviceName, kHDPVRName)) {
            AddEncodedDevice(devices, deviceName, devicePath, kHDPVRDevice);
            return true;
        }

        ComPtr<IPin> pin;
        if (!GetFilterPin(filter, MEDIATYPE_Video, PIN_CATEGORY_CAPTURE, PINDIR_OUTPUT, pin.put())) {
            if (GetPinByName(filter, PINDIR_OUTPUT, kPin656Name, pin.put()))
                AddEncodedDevice(devices, deviceName, devicePath, kPin656Device);
            else if (GetPinByName(filter, PINDIR_OUTPUT, kTSOutPinName, pin.put()))
                AddEncodedDevice(devices, deviceName, devicePath, kTSOutDevice);
            return true;
        }

        VideoDevice device;
        EnumPinCaps(pin, [&device](const AM_MEDIA_TYPE& mt, const uint8_t* caps) {
            VideoInfo info;
            if (GetVideoInfo(mt, caps, info))
                device.caps.push_back(info);
            return true;
        });

        ComPtr<IPin> audioPin;
        device.audioAttached
            = GetFilterPin(filter, MEDIATYPE_Audio, PIN_CATEGORY_CAPTURE, PINDIR_OUTPUT, audioPin.put());
        if (!device.audioAttached) {
            ComPtr<IBaseFilter> audioFilter;
            const bool found = GetDeviceAudioFilter(devicePath, audioFilter.put());
            device.audioAttached = found;
            device.separateAudioFilter = found;
        }

        device.name = deviceName;
        if (devicePath)
            device.path = devicePath;
        devices.push_back(std::move(device));
        return true;
    }

    struct DeviceFilterSearch {
        const wchar_t* name;
        const wchar_t* path;
        ComPtr<IBaseFilter> filter;
    };

    bool FindDeviceFilter(
        void* param, IBaseFilter* filter, const wchar_t* deviceName, const wchar_t* devicePath)
    {
        auto* search = static_cast<DeviceFilterSearch*>(param);
        if (search->name && *search->name && std::wcscmp(search->name, deviceName) != 0)
            return true;
        search->filter = filter;
        const bool exact
            = search->path && *search->path && devicePath && std::wcscmp(search->path, devicePath) == 0;
        return !exact;
    }

} // namespace

bool EnumDevices(const GUID& type, EnumDeviceCallback callback, void* param)
{
    std::lock_guard lock(enumMutex());

    bool decklinkVideo = false;
    if (type == CLSID_AudioInputDeviceCategory) {
        EnumDevices(
            CLSID_VideoInputDeviceCategory,
            [](void* found, IBaseFilter*, const wchar_t* name, const wchar_t*) {
                if (Contains(name, L"Decklink"))
                    *static_cast<bool*>(found) = true;
                return true;
            },
            &decklinkVideo);
    }

    ComPtr<ICreateDevEnum> deviceEnum;
    HRESULT hr = CoCreateInstance(
        CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, deviceEnum.putVoid());
    if (FAILED(hr)) {
        WarningHR(L"EnumAudioDevices: Could not create ICreateDeviceEnum", hr);
        return false;
    }
    ComPtr<IEnumMoniker> enumMoniker;
    hr = deviceEnum->CreateClassEnumerator(type, enumMoniker.put(), 0);
    if (FAILED(hr)) {
        WarningHR(L"EnumAudioDevices: CreateClassEnumerator failed", hr);
        return false;
    }

    bool stopped = false;
    ComPtr<IMoniker> moniker;
    while (enumMoniker && enumMoniker->Next(1, moniker.put(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())))
            continue;
        VARIANT name;
        if (FAILED(bag->Read(L"FriendlyName", &name, nullptr)))
            continue;
        if (type == CLSID_AudioInputDeviceCategory && Contains(name.bstrVal.c_str(), L"Decklink")
            && !decklinkVideo)
            continue;
        VARIANT path;
        const bool hasPath = SUCCEEDED(bag->Read(L"DevicePath", &path, nullptr));
        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid())))
            continue;
        if (!callback(param, filter, name.bstrVal.c_str(), hasPath ? path.bstrVal.c_str() : nullptr)) {
            stopped = true;
            break;
        }
    }

    if (type == CLSID_VideoInputDeviceCategory && !stopped) {
        ComPtr<IBaseFilter> elgato;
        if (SUCCEEDED(CoCreateInstance(
                kElgatoClass, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, elgato.putVoid())))
            callback(param, elgato, kElgatoName, kElgatoPath);
    }
    return true;
}

bool EnumVideoDevices(std::vector<VideoDevice>& devices)
{
    devices.clear();
    return EnumDevices(CLSID_VideoInputDeviceCategory, EnumVideoDevice, &devices);
}

bool GetDeviceFilter(const GUID& type, const wchar_t* name, const wchar_t* path, IBaseFilter** filter)
{
    if (!filter)
        return false;
    DeviceFilterSearch search { name, path, {} };
    EnumDevices(type, FindDeviceFilter, &search);
    if (!search.filter)
        return false;
    *filter = search.filter.detach();
    return true;
}

bool EnumPinCaps(IPin* pin, const PinCapsCallback& callback)
{
    ComPtr<IAMStreamConfig> config;
    if (!pin || FAILED(pin->QueryInterface(IID_IAMStreamConfig, config.putVoid())))
        return false;

    int count = 0, size = 0;
    const HRESULT hr = config->GetNumberOfCapabilities(&count, &size);
    if (hr == E_NOTIMPL) {
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(pin->EnumMediaTypes(types.put())))
            return false;
        AM_MEDIA_TYPE* mt = nullptr;
        while (types->Next(1, &mt, nullptr) == S_OK) {
            const bool more = callback(*mt, nullptr);
            DeleteMediaType(mt);
            if (!more)
                break;
        }
        return true;
    }
    if (FAILED(hr))
        return false;

    // Never smaller than the video block: a driver that reports less must not make us read past it.
    std::vector<uint8_t> caps(
        std::max<size_t>(static_cast<size_t>(std::max(size, 0)), sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    for (int i = 0; i < count; ++i) {
        std::fill(caps.begin(), caps.end(), 0);
        AM_MEDIA_TYPE* mt = nullptr;
        if (FAILED(config->GetStreamCaps(i, &mt, caps.data())) || !mt)
            continue;
        const bool more = callback(*mt, caps.data());
        DeleteMediaType(mt);
        if (!more)
            break;
    }
    return true;
}

bool GetVideoInfo(const AM_MEDIA_TYPE& mt, const uint8_t* caps, VideoInfo& info)
{
    if (mt.formattype != FORMAT_VideoInfo)
        return false;
    const auto* vih = mt.formatAs<VIDEOINFOHEADER>();
    if (!vih || !GetMediaTypeVFormat(mt, info.format))
        return false;

    const BITMAPINFOHEADER& header = vih->bmiHeader;
    if (!caps) {
        info.minCX = info.maxCX = header.biWidth;
        info.minCY = info.maxCY = header.biHeight;
        info.granularityCX = info.granularityCY = 1;
        info.minInterval = info.maxInterval = kDefaultInterval;
        return true;
    }

    const auto* vscc = reinterpret_cast<const VIDEO_STREAM_CONFIG_CAPS*>(caps);
    info.minCX = vscc->MinOutputSize.cx;
    info.minCY = vscc->MinOutputSize.cy;
    info.maxCX = vscc->MaxOutputSize.cx;
    info.maxCY = vscc->MaxOutputSize.cy;
    if (!info.minCX || !info.minCY || !info.maxCX || !info.maxCY) {
        info.minCX = info.maxCX = header.biWidth;
        info.minCY = info.maxCY = header.biHeight;
    }
    info.granularityCX = std::max(vscc->OutputGranularityX, 1);
    info.granularityCY = std::max(vscc->OutputGranularityY, 1);
    info.minInterval = vscc->MinFrameInterval;
    info.maxInterval = vscc->MaxFrameInterval;
    return true;
}

bool GetClosestVideoMediaType(IBaseFilter* filter, const VideoConfig& config, AM_MEDIA_TYPE& mt)
{
    ComPtr<IPin> pin;
    if (!GetFilterPin(filter, MEDIATYPE_Video, PIN_CATEGORY_CAPTURE, PINDIR_OUTPUT, pin.put())) {
        Error(L"GetClosestVideoMediaType: Could not get pin");
        return false;
    }

    bool found = false;
    int64_t bestScore = 0;
    const bool walked = EnumPinCaps(pin, [&](const AM_MEDIA_TYPE& candidate, const uint8_t* caps) {
        VideoInfo info;
        if (!GetVideoInfo(candidate, caps, info))
            return true;
        if (config.internalFormat != VideoFormat::Any && config.internalFormat != info.format)
            return true;

        const int64_t dx = Distance(config.cx, info.minCX, info.maxCX);
        const int64_t dy = Distance(config.cy_abs, std::abs(info.minCY), std::abs(info.maxCY));
        const int64_t dt = Distance(config.frameInterval, info.minInterval, info.maxInterval);
        const int64_t score = FormatPenalty(info.format) + dy + dx + dt;

        if (!found || score < bestScore) {
            AM_MEDIA_TYPE copy = candidate;
            auto* vih = copy.formatAs<VIDEOINFOHEADER>();
            if (dx == 0)
                vih->bmiHeader.biWidth = config.cx - (config.cx - info.minCX) % info.granularityCX;
            if (dy == 0) {
                const int32_t height = config.cy_abs - (config.cy_abs - info.minCY) % info.granularityCY;
                vih->bmiHeader.biHeight = config.cy_flip ? -height : height;
            }
            if (dt == 0 && std::llabs(vih->AvgTimePerFrame - config.frameInterval) > 1)
                vih->AvgTimePerFrame = config.frameInterval;
            mt = std::move(copy);
            bestScore = score;
            found = true;
        }
        return score != 0;
    });
    if (!walked) {
        Error(L"GetClosestVideoMediaType: Could not enumerate caps");
        return false;
    }
    return found;
}

} // namespace DShow
