#pragma once

// The capture library's records: format codes, capability ranges, devices and the video configuration a
// caller hands to a capture device.

#include <capture/interfaces.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace DShow {

enum class VideoFormat : int32_t {
    Any = 0,
    Unknown = 1,

    ARGB = 100,
    XRGB = 101,
    RGB24 = 102, // only ever requested, never reported

    I420 = 200,
    NV12 = 201,
    YV12 = 202,
    Y800 = 203,
    P010 = 204,

    YVYU = 300,
    YUY2 = 301,
    UYVY = 302,
    HDYC = 303,

    MJPEG = 400,
    H264 = 401,
};

enum class AudioFormat : int32_t {
    AAC = 200,
    AC3 = 201,
    MPGA = 202,
};

// One capability range of a device; intervals in 100-ns units.
struct VideoInfo {
    int32_t minCX = 0;
    int32_t minCY = 0;
    int32_t maxCX = 0;
    int32_t maxCY = 0;
    int32_t granularityCX = 1;
    int32_t granularityCY = 1;
    int64_t minInterval = 0;
    int64_t maxInterval = 0;
    VideoFormat format = VideoFormat::Unknown;
};

struct VideoDevice {
    std::wstring name;
    std::wstring path;
    bool audioAttached = false;
    bool separateAudioFilter = false;
    std::vector<VideoInfo> caps;
};

struct VideoConfig;

// Receives each picture on the streaming thread; the bytes are valid only during the call. Times in 100-ns
// units.
using VideoProc = std::function<void(const VideoConfig& config, unsigned char* data, size_t size,
    long long startTime, long long stopTime, long rotation)>;
using ReactivateProc = std::function<void()>;

struct VideoConfig {
    std::wstring name;
    std::wstring path;
    bool useDefaultConfig = true;
    VideoProc callback;
    ReactivateProc reactivateCallback;
    int32_t cx = 0;
    int32_t cy_abs = 0;
    bool cy_flip = false;
    int64_t frameInterval = 0;
    VideoFormat internalFormat = VideoFormat::Any;
    VideoFormat format = VideoFormat::Any;
};

// A device that delivers an MPEG-2 transport stream, set up through the demultiplexer.
struct EncodedDevice {
    VideoFormat videoFormat;
    uint32_t videoPacketID;
    int32_t width;
    int32_t height;
    int64_t frameInterval;
    AudioFormat audioFormat;
    uint32_t audioPacketID;
    uint32_t samplesPerSec;
};

} // namespace DShow
