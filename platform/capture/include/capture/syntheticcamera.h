#pragma once

// The synthetic test-pattern camera: a capture source filter with one capture pin that delivers raw
// pictures of the shared test pattern (capture/testpattern.h) from a streaming thread of its own, at the
// interval of the connected format. Raw subtypes only: I420, NV12, YUY2, RGB32 (XRGB) and RGB24. The
// thread starts when the filter runs and is joined when it stops or is destroyed.

#include <capture/catalog.h>

#include <string>
#include <vector>

namespace capture {

struct SyntheticCapability {
    GUID subtype;
    int width;
    int height;
    REFERENCE_TIME minInterval;
    REFERENCE_TIME maxInterval;
};

inline constexpr char kSyntheticCameraVariable[] = "TAVICAST_SYNTHETIC_CAMERA";
inline constexpr REFERENCE_TIME kInterval30Fps = 333333;

// 640x480 and 1280x720 at 30 frames per second, in every raw subtype.
std::vector<SyntheticCapability> defaultSyntheticCapabilities();
// The path the synthetic camera of that name is listed with.
std::wstring syntheticCameraPath(const std::wstring& name);
// A catalog entry for a synthetic camera.
DeviceEntry syntheticCameraEntry(const std::wstring& name, std::vector<SyntheticCapability> capabilities);

// A new filter (referenced once, for the caller).
HRESULT CreateSyntheticCamera(
    const std::wstring& name, std::vector<SyntheticCapability> capabilities, IBaseFilter** filter);

} // namespace capture
