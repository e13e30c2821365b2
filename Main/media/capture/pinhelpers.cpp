#include "media/capture/pinhelpers.h"

#include "media/capture/captureformats.h"
#include "media/capture/capturelog.h"

#include <cstring>

namespace DShow {
namespace {

    bool PinHasMajorType(IPin* pin, const GUID& type)
    {
        ComPtr<IAMStreamConfig> config;
        int count = 0, size = 0;
        if (SUCCEEDED(pin->QueryInterface(IID_IAMStreamConfig, config.putVoid()))
            && SUCCEEDED(config->GetNumberOfCapabilities(&count, &size))) {
            std::vector<uint8_t> caps(
                std::max<size_t>(static_cast<size_t>(std::max(size, 0)), sizeof(VIDEO_STREAM_CONFIG_CAPS)));
            for (int i = 0; i < count; ++i) {
                AM_MEDIA_TYPE* mt = nullptr;
                if (SUCCEEDED(config->GetStreamCaps(i, &mt, caps.data())) && mt) {
                    const bool match = mt->majortype == type;
                    DeleteMediaType(mt);
                    if (match)
                        return true;
                }
            }
            return false;
        }

        ComPtr<IEnumMediaTypes> types;
        if (FAILED(pin->EnumMediaTypes(types.put())))
            return false;
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &mt, &fetched) != S_OK || !mt)
            return false;
        const bool match = mt->majortype == type;
        DeleteMediaType(mt);
        return match;
    }

    bool PinIsDirection(IPin* pin, PIN_DIRECTION dir)
    {
        PIN_DIRECTION pinDir;
        return SUCCEEDED(pin->QueryDirection(&pinDir)) && pinDir == dir;
    }

    bool PinIsConnected(IPin* pin)
    {
        ComPtr<IPin> connected;
        return SUCCEEDED(pin->ConnectedTo(connected.put()));
    }

    bool PinNameIs(IPin* pin, const wchar_t* name)
    {
        PIN_INFO info;
        if (FAILED(pin->QueryPinInfo(&info)))
            return false;
        if (info.pFilter)
            info.pFilter->Release();
        return std::wcscmp(info.achName, name) == 0;
    }

    bool GetFilterByMediumFromMoniker(IMoniker* moniker, const REGPINMEDIUM& medium, IBaseFilter** filter)
    {
        ComPtr<IBaseFilter> candidate;
        const HRESULT hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, candidate.putVoid());
        if (FAILED(hr)) {
            WarningHR(L"GetFilterByMediumFromMoniker: BindToObject failed", hr);
            return false;
        }
        ComPtr<IPin> pin;
        if (!GetPinByMedium(candidate, medium, pin.put()))
            return false;
        *filter = candidate.detach();
        return true;
    }

} // namespace

bool GetFilterPin(IBaseFilter* filter, const GUID& type, const GUID& category, PIN_DIRECTION dir, IPin** pin)
{
    if (!filter || !pin)
        return false;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return false;
    ComPtr<IPin> candidate;
    while (pins->Next(1, candidate.put(), nullptr) == S_OK) {
        GUID pinCategory;
        if (!PinIsDirection(candidate, dir) || !PinHasMajorType(candidate, type)
            || FAILED(GetPinCategory(candidate, pinCategory)) || pinCategory != category)
            continue;
        *pin = candidate.detach();
        return true;
    }
    return false;
}

bool GetPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const wchar_t* name, IPin** pin)
{
    if (!filter || !pin)
        return false;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return false;
    ComPtr<IPin> candidate;
    while (pins->Next(1, candidate.put(), nullptr) == S_OK) {
        if (!PinIsDirection(candidate, dir))
            continue;
        if (name && !PinNameIs(candidate, name))
            continue;
        *pin = candidate.detach();
        return true;
    }
    return false;
}

bool GetPinMedium(IPin* pin, REGPINMEDIUM& medium)
{
    ComPtr<IKsPin> ksPin;
    if (!pin || FAILED(pin->QueryInterface(IID_IKsPin, ksPin.putVoid())))
        return false;
    REGPINMEDIUM* mediums = nullptr;
    ULONG count = 0;
    if (FAILED(ksPin->KsQueryMediums(&mediums, &count)) || !mediums)
        return false;
    bool found = false;
    for (ULONG i = 0; i < count; ++i) {
        if (mediums[i].clsMedium != GUID_NULL && mediums[i].clsMedium != KSMEDIUMSETID_Standard) {
            medium = mediums[i];
            found = true;
            break;
        }
    }
    CoTaskMemFree(mediums);
    return found;
}

bool GetPinByMedium(IBaseFilter* filter, const REGPINMEDIUM& medium, IPin** pin)
{
    if (!filter || !pin)
        return false;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return false;
    ComPtr<IPin> candidate;
    while (pins->Next(1, candidate.put(), nullptr) == S_OK) {
        REGPINMEDIUM pinMedium;
        if (GetPinMedium(candidate, pinMedium) && std::memcmp(&pinMedium, &medium, sizeof medium) == 0) {
            *pin = candidate.detach();
            return true;
        }
    }
    return false;
}

HRESULT GetPinCategory(IPin* pin, GUID& category)
{
    if (!pin)
        return E_POINTER;
    ComPtr<IKsPropertySet> properties;
    HRESULT hr = pin->QueryInterface(IID_IKsPropertySet, properties.putVoid());
    if (FAILED(hr))
        return hr;
    uint32_t returned = 0;
    hr = properties->Get(
        AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned);
    if (SUCCEEDED(hr) && returned < sizeof category)
        return E_FAIL;
    return hr;
}

bool GetFilterByMedium(const GUID& category, const REGPINMEDIUM& medium, IBaseFilter** filter)
{
    if (!filter)
        return false;
    ComPtr<ICreateDevEnum> deviceEnum;
    HRESULT hr = CoCreateInstance(
        CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, deviceEnum.putVoid());
    if (FAILED(hr)) {
        WarningHR(L"GetFilterByMedium: Failed to create device enum", hr);
        return false;
    }
    ComPtr<IEnumMoniker> enumMoniker;
    hr = deviceEnum->CreateClassEnumerator(category, enumMoniker.put(), 0);
    if (hr != S_OK || !enumMoniker) {
        WarningHR(L"GetFilterByMedium: Failed to create enum moniker", hr);
        return false;
    }
    ComPtr<IMoniker> moniker;
    while (enumMoniker->Next(1, moniker.put(), nullptr) == S_OK) {
        if (GetFilterByMediumFromMoniker(moniker, medium, filter))
            return true;
    }
    return false;
}

bool DirectConnectFilters(IFilterGraph* graph, IBaseFilter* from, IBaseFilter* to)
{
    if (!graph || !from || !to)
        return false;
    ComPtr<IEnumPins> outputs;
    if (FAILED(from->EnumPins(outputs.put())))
        return false;
    bool connected = false;
    ComPtr<IPin> output;
    while (outputs->Next(1, output.put(), nullptr) == S_OK) {
        if (!PinIsDirection(output, PINDIR_OUTPUT) || PinIsConnected(output))
            continue;
        ComPtr<IEnumPins> inputs;
        if (FAILED(to->EnumPins(inputs.put())))
            break;
        ComPtr<IPin> input;
        while (inputs->Next(1, input.put(), nullptr) == S_OK) {
            if (!PinIsDirection(input, PINDIR_INPUT) || PinIsConnected(input))
                continue;
            if (SUCCEEDED(graph->ConnectDirect(output, input, nullptr))) {
                connected = true;
                break;
            }
        }
    }
    return connected;
}

bool CreateDemuxVideoPin(IBaseFilter* demuxFilter, AM_MEDIA_TYPE& mt, long width, long height,
    long long frameTime, VideoFormat format)
{
    if (format != VideoFormat::H264) {
        Warning(L"CreateDemuxVideoPin: Invalid video format");
        return false;
    }
    ComPtr<IMpeg2Demultiplexer> demuxer;
    if (!demuxFilter || FAILED(demuxFilter->QueryInterface(IID_IMpeg2Demultiplexer, demuxer.putVoid()))) {
        Warning(L"CreateDemuxVideoPin: Failed to get IMpeg2Demultiplexer from filter");
        return false;
    }

    VIDEOINFOHEADER info {};
    info.rcSource = { 0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height) };
    info.rcTarget = info.rcSource;
    info.AvgTimePerFrame = frameTime;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<int32_t>(width);
    info.bmiHeader.biHeight = static_cast<int32_t>(height);
    info.bmiHeader.biCompression = MAKEFOURCC('H', '2', '6', '4');

    mt = AM_MEDIA_TYPE();
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_H264;
    mt.bTemporalCompression = true;
    mt.formattype = FORMAT_VideoInfo;
    if (!mt.setFormat(&info, sizeof info))
        return false;

    ComPtr<IPin> pin;
    const HRESULT hr = demuxer->CreateOutputPin(&mt, L"Demuxer Video Pin", pin.put());
    if (FAILED(hr)) {
        WarningHR(L"CreateDemuxVideoPin: Failed to create video pin on demuxer", hr);
        return false;
    }
    return true;
}

bool CreateDemuxAudioPin(IBaseFilter* demuxFilter, AM_MEDIA_TYPE& mt, unsigned long samplesPerSec,
    unsigned short bitsPerSample, unsigned short channels, AudioFormat format)
{
    uint16_t tag = 0;
    if (!AudioFormatTag(format, tag)) {
        Warning(L"CreateDemuxAudioPin: Invalid audio format");
        return false;
    }
    ComPtr<IMpeg2Demultiplexer> demuxer;
    if (!demuxFilter || FAILED(demuxFilter->QueryInterface(IID_IMpeg2Demultiplexer, demuxer.putVoid()))) {
        Warning(L"CreateDemuxAudioPin: Failed to get IMpeg2Demultiplexer from filter");
        return false;
    }

    WAVEFORMATEX wave {};
    wave.wFormatTag = tag;
    wave.nChannels = channels;
    wave.nSamplesPerSec = static_cast<uint32_t>(samplesPerSec);
    wave.wBitsPerSample = bitsPerSample;

    mt = AM_MEDIA_TYPE();
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = AudioFormatSubtype(tag);
    mt.bTemporalCompression = true;
    mt.formattype = FORMAT_WaveFormatEx;
    if (!mt.setFormat(&wave, sizeof wave))
        return false;

    ComPtr<IPin> pin;
    const HRESULT hr = demuxer->CreateOutputPin(&mt, L"Demuxer Audio Pin", pin.put());
    if (FAILED(hr)) {
        WarningHR(L"CreateDemuxAudioPin: Failed to create audio pin on demuxer", hr);
        return false;
    }
    return true;
}

} // namespace DShow
