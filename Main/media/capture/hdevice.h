#pragma once

// The graph behind a Device: the graph and its builder, the device filter and the sink, the media type in
// use and the configuration. Only video is captured; the audio places stay empty.

#include "media/capture/capturefilter.h"
#include "media/capture/dshowdevice.h"

#include <atomic>
#include <vector>

namespace DShow {

// An encoded sample held back until the next one arrives.
struct EncodedData {
    long long lastStartTime = 0;
    long long lastStopTime = 0;
    std::vector<unsigned char> bytes;
};

struct HDevice {
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IMediaControl> control;

    ComPtr<IBaseFilter> videoFilter;
    ComPtr<IBaseFilter> audioFilter;
    ComPtr<CaptureFilter> videoCapture;
    ComPtr<CaptureFilter> audioCapture;
    ComPtr<IBaseFilter> audioOutput;
    ComPtr<IBaseFilter> rocketEncoder;

    AM_MEDIA_TYPE videoMediaType;
    AM_MEDIA_TYPE audioMediaType;
    VideoConfig videoConfig;

    bool encodedReady = false;
    bool queryRoll = false;
    bool hdr = false;
    std::atomic<bool> reactivatePending { false };
    bool initialized = false;
    bool active = false;

    EncodedData encodedVideo;
    EncodedData encodedAudio;

    HDevice() = default;
    ~HDevice();
    HDevice(const HDevice&) = delete;
    HDevice& operator=(const HDevice&) = delete;

    bool CreateGraph();
    bool EnsureInitialized(const wchar_t* func);
    bool EnsureInactive(const wchar_t* func);

    bool SetVideoConfig(VideoConfig* config);
    bool SetupVideoCapture(IBaseFilter* filter, VideoConfig& config);
    bool SetupExceptionVideoCapture(IBaseFilter* filter, VideoConfig& config);
    bool SetupEncodedVideoCapture(IBaseFilter* filter, VideoConfig& config, const EncodedDevice& info);
    void ConvertVideoSettings();

    bool FindCrossbar(IBaseFilter* filter, IBaseFilter** crossbar);
    bool ConnectPins(const GUID& category, const GUID& type, IBaseFilter* filter, IBaseFilter* capture);
    bool RenderFilters(const GUID& category, const GUID& type, IBaseFilter* filter, IBaseFilter* capture);
    bool ConnectFilters();
    Result Start();
    void OpenDialog(void* owner, DialogType type);

    void Receive(bool isVideo, IMediaSample* sample);

private:
    void RemoveAllFilters();
};

} // namespace DShow
