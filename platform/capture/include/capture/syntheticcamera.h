#pragma once

// The synthetic test-pattern camera: a capture source filter with one capture pin that delivers pictures
// of the shared test pattern (capture/testpattern.h) from a streaming thread of its own, at the interval
// of the connected format: raw I420, NV12, YUY2, RGB32 (XRGB) and RGB24, or MJPEG and H.264 coded with
// FFmpeg (libx264). The thread starts when the filter runs and is joined when it stops or is destroyed.
// A script lets tests make it busy, change format mid-stream, send a short sample or answer the
// kernel-streaming property requests of a capture card.

#include <capture/catalog.h>

#include <atomic>
#include <memory>
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

// What a test asks of a synthetic camera; read by the camera while it runs.
struct SyntheticScript {
    // Run fails as a device in use by another program.
    std::atomic<bool> busy { false };
    // Run fails with this result when it is a failure.
    std::atomic<HRESULT> runFailure { S_OK };
    // Samples handed to the sink so far, counted before each delivery.
    std::atomic<int> delivered { 0 };
    // The picture with this number carries only half its bytes.
    std::atomic<int> shortSampleAt { -1 };
    // From the picture with this number on, the stream has this size (the sink is asked first, and the
    // first sample of the new size carries the new type).
    std::atomic<int> changeFormatAt { -1 };
    std::atomic<int> changedWidth { 0 };
    std::atomic<int> changedHeight { 0 };
    // Answers the filter's kernel-streaming property requests in place of the null ones; set before use.
    ComPtr<IKsPropertySet> cardProperties;
};

inline constexpr char kSyntheticCameraVariable[] = "TAVICAST_SYNTHETIC_CAMERA";
inline constexpr REFERENCE_TIME kInterval30Fps = 333333;

// 640x480 and 1280x720 at 30 frames per second, in every raw subtype.
std::vector<SyntheticCapability> defaultSyntheticCapabilities();
// The path the synthetic camera of that name is listed with.
std::wstring syntheticCameraPath(const std::wstring& name);
// A catalog entry for a synthetic camera.
DeviceEntry syntheticCameraEntry(const std::wstring& name, std::vector<SyntheticCapability> capabilities,
    std::shared_ptr<SyntheticScript> script = nullptr);

// A new filter (referenced once, for the caller).
HRESULT CreateSyntheticCamera(const std::wstring& name, std::vector<SyntheticCapability> capabilities,
    IBaseFilter** filter, std::shared_ptr<SyntheticScript> script = nullptr);

} // namespace capture
