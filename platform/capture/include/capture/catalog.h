#pragma once

// The camera catalog: which devices the system device enumerator lists for a category. By default the
// video input category holds the synthetic test-pattern camera first (when TAVICAST_SYNTHETIC_CAMERA names
// it), then the V4L2 cameras; every other category is empty on this system. Tests replace the catalog.
// Any thread may list; the catalog is replaced before devices are enumerated.

#include <capture/interfaces.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// One device of a category. Its filter is made on demand, each call a new object.
struct DeviceEntry {
    std::wstring friendlyName;
    std::wstring devicePath; // empty: the device has no "DevicePath"
    std::function<HRESULT(IBaseFilter** filter)> createFilter;
};

using Catalog = std::function<std::vector<DeviceEntry>(const GUID& category)>;

// The devices of the category, from the catalog in use.
std::vector<DeviceEntry> listDevices(const GUID& category);
// An empty catalog restores the default one.
void setCatalog(Catalog catalog);
std::vector<DeviceEntry> defaultCatalog(const GUID& category);

// One capture mode of a camera, as the WebRTC layer lists them: one per capability.
struct CameraMode {
    int width = 0;
    int height = 0;
    int fps = 0; // from the capability's shortest frame interval
    GUID subtype {};
};

struct CameraInfo {
    std::wstring name; // the friendly name
    std::wstring uniqueId; // the device path
    std::vector<CameraMode> modes;
};

// The cameras of the video input category with their modes, walked through the system device enumerator.
std::vector<CameraInfo> listCameras();

// A device name that survives "name:path" ids, which split at the first ':'.
std::wstring sanitizeDeviceName(std::wstring name);

// Wide text (UTF-32) to UTF-8; a surrogate or a value beyond U+10FFFF becomes U+FFFD.
std::string narrowToUtf8(std::wstring_view text);

} // namespace capture
