// The camera catalog and the camera listing built on the system device enumerator.
#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <capture/v4l2camera.h>

#include "text.h"

#include <cstdlib>
#include <mutex>

namespace capture {
namespace {

    std::mutex g_catalogMutex;
    Catalog g_catalog;

    CameraInfo describeCamera(IMoniker* moniker)
    {
        CameraInfo camera;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())))
            return camera;
        VARIANT value;
        if (FAILED(bag->Read(L"FriendlyName", &value, nullptr)))
            return camera;
        camera.name = value.bstrVal;
        camera.uniqueId = SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) ? value.bstrVal : camera.name;

        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid())))
            return camera;
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.put())))
            return camera;
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            PIN_DIRECTION direction;
            ComPtr<IAMStreamConfig> config;
            int count = 0, size = 0;
            if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT
                || FAILED(pin->QueryInterface(IID_IAMStreamConfig, config.putVoid()))
                || FAILED(config->GetNumberOfCapabilities(&count, &size))
                || size < int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
                continue;
            std::vector<uint8_t> block(static_cast<size_t>(size));
            for (int i = 0; i < count; ++i) {
                AM_MEDIA_TYPE* type = nullptr;
                if (config->GetStreamCaps(i, &type, block.data()) != S_OK)
                    continue;
                const BITMAPINFOHEADER* header = GetBitmapInfoHeader(*type);
                const auto* caps = reinterpret_cast<const VIDEO_STREAM_CONFIG_CAPS*>(block.data());
                if (type->majortype == MEDIATYPE_Video && header && caps->MinFrameInterval > 0) {
                    camera.modes.push_back({ header->biWidth, std::abs(header->biHeight),
                        static_cast<int>((10000000 + caps->MinFrameInterval / 2) / caps->MinFrameInterval),
                        type->subtype });
                }
                DeleteMediaType(type);
            }
            break;
        }
        return camera;
    }

} // namespace

std::string narrowToUtf8(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text) {
        auto code = static_cast<uint32_t>(c);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | code >> 6));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | code >> 12));
            out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | code >> 18));
            out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::wstring widenUtf8(const std::string& text)
{
    std::wstring wide;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0
            : (lead & 0xE0) == 0xC0   ? 1
            : (lead & 0xF0) == 0xE0   ? 2
            : (lead & 0xF8) == 0xF0   ? 3
                                      : -1;
        uint32_t code = extra > 0 ? lead & (0x3F >> extra) : lead;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        if (!ok) {
            wide.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        wide.push_back(static_cast<wchar_t>(code));
        i += static_cast<size_t>(extra) + 1;
    }
    return wide;
}

std::wstring sanitizeDeviceName(std::wstring name)
{
    for (wchar_t& c : name) {
        if (c == L':')
            c = L'-';
    }
    return name;
}

std::vector<DeviceEntry> defaultCatalog(const GUID& category)
{
    std::vector<DeviceEntry> entries;
    if (category != CLSID_VideoInputDeviceCategory)
        return entries;
    const char* synthetic = std::getenv(kSyntheticCameraVariable);
    if (synthetic && *synthetic)
        entries.push_back(
            syntheticCameraEntry(sanitizeDeviceName(widenUtf8(synthetic)), defaultSyntheticCapabilities()));
    for (DeviceEntry& entry : v4l2CameraEntries(currentV4l2Io()))
        entries.push_back(std::move(entry));
    return entries;
}

void setCatalog(Catalog catalog)
{
    std::lock_guard lock(g_catalogMutex);
    g_catalog = std::move(catalog);
}

std::vector<DeviceEntry> listDevices(const GUID& category)
{
    Catalog catalog;
    {
        std::lock_guard lock(g_catalogMutex);
        catalog = g_catalog;
    }
    return catalog ? catalog(category) : defaultCatalog(category);
}

std::vector<CameraInfo> listCameras()
{
    std::vector<CameraInfo> cameras;
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(
            CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, devices.putVoid())))
        return cameras;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK)
        return cameras;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
        CameraInfo camera = describeCamera(moniker);
        if (!camera.name.empty())
            cameras.push_back(std::move(camera));
    }
    return cameras;
}

} // namespace capture
