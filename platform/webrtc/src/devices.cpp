// The camera listing of the WebRTC layer, walked through the capture graph's system device enumerator so that
// it names the same devices, ids and sizes the capture library opens.
#include <zovwebrtc/devices.h>

#include <capture/catalog.h>
#include <capture/interfaces.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zovwebrtc {
namespace {

    struct Mode {
        int width;
        int height;
        int fps;
    };

    struct Camera {
        std::string name;
        std::string uniqueId;
        std::vector<Mode> modes;
    };

    std::mutex g_mutex;
    std::optional<std::vector<Camera>> g_cameras; // the last listing

    bool isVideoCapturePin(IPin* pin)
    {
        PIN_DIRECTION direction;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
            return false;
        ComPtr<IKsPropertySet> properties;
        if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.putVoid())))
            return false;
        GUID category {};
        uint32_t returned = 0;
        return SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                   sizeof category, &returned))
            && returned >= sizeof category && category == PIN_CATEGORY_CAPTURE;
    }

    // The largest size of a capability; a block without a size range stands for the type's own size.
    std::optional<Mode> modeOf(const AM_MEDIA_TYPE& type, const VIDEO_STREAM_CONFIG_CAPS& caps)
    {
        const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type);
        if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || !header
            || caps.MinFrameInterval <= 0)
            return std::nullopt;
        Mode mode { caps.MaxOutputSize.cx, std::abs(caps.MaxOutputSize.cy), 0 };
        if (!caps.MinOutputSize.cx || !caps.MinOutputSize.cy || !caps.MaxOutputSize.cx
            || !caps.MaxOutputSize.cy) {
            mode.width = header->biWidth;
            mode.height = std::abs(header->biHeight);
        }
        mode.fps = static_cast<int>((10000000 + caps.MinFrameInterval / 2) / caps.MinFrameInterval);
        return mode;
    }

    // The modes of the filter's video capture pin; false when it has none.
    bool collectModes(IBaseFilter* filter, std::vector<Mode>& modes)
    {
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.put())))
            return false;
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            if (!isVideoCapturePin(pin))
                continue;
            ComPtr<IAMStreamConfig> config;
            int count = 0, size = 0;
            if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, config.putVoid()))
                || FAILED(config->GetNumberOfCapabilities(&count, &size))
                || size < int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
                return false;
            std::vector<uint8_t> block(static_cast<size_t>(size));
            for (int i = 0; i < count; ++i) {
                AM_MEDIA_TYPE* type = nullptr;
                if (config->GetStreamCaps(i, &type, block.data()) != S_OK || !type)
                    continue;
                VIDEO_STREAM_CONFIG_CAPS caps;
                std::memcpy(&caps, block.data(), sizeof caps);
                if (auto mode = modeOf(*type, caps))
                    modes.push_back(*mode);
                DeleteMediaType(type);
            }
            return true;
        }
        return false;
    }

    std::vector<Camera> listCameras()
    {
        std::vector<Camera> cameras;
        ComPtr<ICreateDevEnum> devices;
        if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                devices.putVoid())))
            return cameras;
        ComPtr<IEnumMoniker> monikers;
        if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK
            || !monikers)
            return cameras;
        ComPtr<IMoniker> moniker;
        while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
            ComPtr<IPropertyBag> bag;
            VARIANT name, path;
            ComPtr<IBaseFilter> filter;
            if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid()))
                || FAILED(bag->Read(L"FriendlyName", &name, nullptr)) || name.bstrVal.empty()
                || FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid())))
                continue;
            Camera camera;
            camera.name = capture::narrowToUtf8(name.bstrVal);
            const bool hasPath = SUCCEEDED(bag->Read(L"DevicePath", &path, nullptr)) && !path.bstrVal.empty();
            camera.uniqueId = hasPath ? capture::narrowToUtf8(path.bstrVal) : camera.name;
            if (collectModes(filter, camera.modes))
                cameras.push_back(std::move(camera));
        }
        return cameras;
    }

    bool fits(const std::string& text, const char* buffer, int size)
    {
        return buffer && size > 0 && text.size() < static_cast<size_t>(size);
    }

} // namespace

unsigned list_device_num()
{
    std::lock_guard lock(g_mutex);
    g_cameras = listCameras();
    return static_cast<unsigned>(g_cameras->size());
}

bool get_device_name(unsigned index, char* name, int nameSize, char* uniqueId, int idSize)
{
    std::lock_guard lock(g_mutex);
    if (!g_cameras)
        g_cameras = listCameras();
    if (index >= g_cameras->size())
        return false;
    const Camera& camera = (*g_cameras)[index];
    if (!fits(camera.name, name, nameSize) || !fits(camera.uniqueId, uniqueId, idSize))
        return false;
    std::memcpy(name, camera.name.c_str(), camera.name.size() + 1);
    std::memcpy(uniqueId, camera.uniqueId.c_str(), camera.uniqueId.size() + 1);
    return true;
}

int list_device_capability(const char* uniqueId, int* widths, int* heights, int* fps)
{
    if (!uniqueId || !widths || !heights || !fps)
        return 0;
    std::lock_guard lock(g_mutex);
    auto find = [uniqueId]() -> const Camera* {
        for (const Camera& camera : *g_cameras) {
            if (camera.uniqueId == uniqueId)
                return &camera;
        }
        return nullptr;
    };
    if (!g_cameras)
        g_cameras = listCameras();
    const Camera* camera = find();
    if (!camera) { // plugged in since the last listing
        g_cameras = listCameras();
        camera = find();
    }
    if (!camera)
        return 0;
    int count = 0;
    for (const Mode& mode : camera->modes) {
        if (count == kMaxDeviceCapabilities)
            break;
        widths[count] = mode.width;
        heights[count] = mode.height;
        fps[count] = mode.fps;
        ++count;
    }
    return count;
}

} // namespace zovwebrtc
