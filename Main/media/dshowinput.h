#pragma once

// One camera opened through the capture library, its latest picture kept as BGRA for a poller.
// DShow::DShowInput drives its capture device from a thread of its own through a queue of actions; samples
// arrive on the device's streaming thread, are decoded when coded (MJPEG, H.264) and converted to BGRA
// through framekit, and replace the latest picture. Any thread may poll. The constructor throws the
// message text (a const char*) when it cannot create its semaphore, event or thread; every other failure
// leaves the camera closed and is logged through framekit.

#include "media/cameradecoder.h"
#include "media/capture/dshowdevice.h"
#include "media/inputsync.h"

#include <framekit/framekit.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace DShow {

struct CameraConfig {
    std::string deviceId; // UTF-8: device name, ':', device path
    int cx = 0;
    int cy = 0;
};

// Splits the id at its first ':' into name and path (the path may be empty); false without a ':' or for
// text that is not UTF-8.
bool DecodeDeviceId(const std::string& deviceId, std::wstring& name, std::wstring& path);
// The frame interval closest to 30 frames per second that a capability range allows.
int64_t clampFrameInterval(int64_t shortest, int64_t longest);
// Fills size, interval and format of the configuration from the first capability whose largest size is
// cx by cy (a negative largest height, a bottom-up picture, matches its absolute value); false when none.
bool chooseCapability(const std::vector<VideoInfo>& caps, int cx, int cy, VideoConfig& config);
// framekit's code for a raw capture format; FK_VIDEO_FORMAT_NONE for coded and unknown formats.
int convertVideoFormat(VideoFormat format);

// Codes of the input's actions.
enum InputAction : int {
    ActionActivate = 1,
    ActionActivateAndSignal = 2,
    ActionDeactivate = 3,
    ActionShutdown = 4,
    ActionConfigVideo = 5,
    ActionConfigAudio = 6,
    ActionConfigCrossbar = 7,
    ActionConfigCrossbar2 = 8,
};

// Test seam: makes the constructor's creation of its semaphore (1), event (2) or thread (3) fail; 0, the
// default, fails nothing.
void setInputCreationFault(int step);

class DShowInput {
public:
    using FrameCallback = void (*)(uint8_t* data, int linesize, int width, int height, void* context);

    explicit DShowInput(const CameraConfig& config);
    ~DShowInput();
    DShowInput(const DShowInput&) = delete;
    DShowInput& operator=(const DShowInput&) = delete;

    // Calls back with the latest picture (B, G, R, A rows, top-down) while holding the lock that new
    // pictures wait for; nothing when there is none yet.
    void pollFrame(FrameCallback callback, void* context);
    void queueAction(int action);

    // The device's sample handler (streaming thread).
    void onVideoData(const VideoConfig& config, unsigned char* data, size_t size, long long startTime,
        long long stopTime, long rotation);

    // Waits until an activate-and-signal action has finished, successful or not; false on time-out.
    bool waitActivated(std::chrono::milliseconds timeout);

private:
    void captureThread();
    bool activate();
    bool updateVideoConfig();
    void decodeSample(AVCodecID codec, const unsigned char* data, size_t size, long long startTime);
    void storeLatestFrame(uint8_t* bgra, uint32_t width, uint32_t height);
    void logShortSample(size_t size, size_t needed, const VideoConfig& config);

    CameraConfig m_config;
    std::mutex m_configLock;
    Device m_device;
    CameraDecoder m_decoder;
    VideoConfig m_videoConfig;
    InputSemaphore m_semaphore;
    InputEvent m_activatedEvent;
    std::thread m_thread;
    std::mutex m_queueLock;
    std::vector<int> m_actions;
    fk_video_frame m_latestFrame {};

    // Streaming thread only.
    std::chrono::steady_clock::time_point m_lastShortSampleLog {};
    uint64_t m_shortSamplesDropped = 0;
};

} // namespace DShow
