#include "media/dshowinput.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <system_error>

using DShow::VideoConfig;
using DShow::VideoFormat;

namespace {

constexpr int64_t kInterval30Fps = 333333;
constexpr size_t kSampleSpare = 128;
constexpr auto kShortSampleLogEvery = std::chrono::seconds(5);

std::atomic<int> g_creationFault { 0 };

bool creationFails(int step) { return g_creationFault.load() == step; }

bool utf8ToWide(const std::string& text, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    const size_t length = fk_os_utf8_to_wcs(text.data(), text.size(), nullptr, 0);
    if (!length)
        return false;
    std::wstring converted(length + 1, L'\0');
    if (fk_os_utf8_to_wcs(text.data(), text.size(), converted.data(), converted.size()) != length)
        return false;
    converted.resize(length);
    wide = std::move(converted);
    return true;
}

constexpr struct {
    VideoFormat capture;
    int framekit;
} kRawFormats[] = {
    { VideoFormat::ARGB, FK_VIDEO_FORMAT_BGRA },
    { VideoFormat::XRGB, FK_VIDEO_FORMAT_BGRX },
    { VideoFormat::I420, FK_VIDEO_FORMAT_I420 },
    { VideoFormat::NV12, FK_VIDEO_FORMAT_NV12 },
    { VideoFormat::YV12, FK_VIDEO_FORMAT_I420 },
    { VideoFormat::Y800, FK_VIDEO_FORMAT_Y800 },
    { VideoFormat::P010, FK_VIDEO_FORMAT_P010 },
    { VideoFormat::YVYU, FK_VIDEO_FORMAT_YVYU },
    { VideoFormat::YUY2, FK_VIDEO_FORMAT_YUY2 },
    { VideoFormat::UYVY, FK_VIDEO_FORMAT_UYVY },
    { VideoFormat::HDYC, FK_VIDEO_FORMAT_UYVY },
};

// Points the record's planes into a raw sample of the configuration's format (a null buffer leaves them
// null) and returns the bytes those planes reach; 0 for a format that is not raw.
size_t describeRawSample(const VideoConfig& config, uint8_t* buffer, fk_video_frame& frame)
{
    const auto at = [buffer](size_t offset) { return buffer ? buffer + offset : nullptr; };
    const size_t width = static_cast<uint32_t>(config.cx);
    const size_t height = static_cast<uint32_t>(config.cy_abs);
    const size_t area = width * height;
    const size_t chromaRows = (height + 1) / 2;
    frame.format = DShow::convertVideoFormat(config.format);
    frame.width = static_cast<uint32_t>(width);
    frame.height = static_cast<uint32_t>(height);
    frame.data[0] = buffer;

    switch (config.format) {
    case VideoFormat::ARGB:
    case VideoFormat::XRGB:
        frame.linesize[0] = static_cast<uint32_t>(width * 4);
        // Samples of 32-bit RGB are stored bottom-up unless the device said otherwise.
        frame.flip = !config.cy_flip;
        return area * 4;
    case VideoFormat::I420:
    case VideoFormat::YV12: {
        const size_t first = area, second = area + area / 4;
        const bool vFirst = config.format == VideoFormat::YV12;
        frame.data[1] = at(vFirst ? second : first);
        frame.data[2] = at(vFirst ? first : second);
        frame.linesize[0] = static_cast<uint32_t>(width);
        frame.linesize[1] = frame.linesize[2] = static_cast<uint32_t>(width / 2);
        return second + (width / 2) * chromaRows;
    }
    case VideoFormat::NV12:
        frame.data[1] = at(area);
        frame.linesize[0] = frame.linesize[1] = static_cast<uint32_t>(width);
        return area + width * chromaRows;
    case VideoFormat::Y800:
        frame.linesize[0] = static_cast<uint32_t>(width);
        return area;
    case VideoFormat::P010:
        frame.data[1] = at(2 * area);
        frame.linesize[0] = frame.linesize[1] = static_cast<uint32_t>(2 * width);
        return 2 * area + 2 * width * chromaRows;
    case VideoFormat::YVYU:
    case VideoFormat::YUY2:
    case VideoFormat::UYVY:
    case VideoFormat::HDYC:
        frame.linesize[0] = static_cast<uint32_t>(2 * width);
        return 2 * area;
    default:
        return 0;
    }
}

} // namespace

namespace DShow {

void setInputCreationFault(int step) { g_creationFault = step; }

bool DecodeDeviceId(const std::string& deviceId, std::wstring& name, std::wstring& path)
{
    const size_t colon = deviceId.find(':');
    if (colon == std::string::npos)
        return false;
    return utf8ToWide(deviceId.substr(0, colon), name) && utf8ToWide(deviceId.substr(colon + 1), path);
}

int64_t clampFrameInterval(int64_t shortest, int64_t longest)
{
    if (shortest >= kInterval30Fps)
        return shortest;
    if (longest <= kInterval30Fps)
        return longest;
    return kInterval30Fps;
}

bool chooseCapability(const std::vector<VideoInfo>& caps, int cx, int cy, VideoConfig& config)
{
    const auto found = std::find_if(caps.begin(), caps.end(),
        [&](const VideoInfo& info) { return info.maxCX == cx && std::abs(info.maxCY) == cy; });
    if (found == caps.end())
        return false;
    config.cx = cx;
    config.cy_abs = std::abs(found->maxCY);
    config.cy_flip = found->maxCY < 0;
    config.frameInterval = clampFrameInterval(found->minInterval, found->maxInterval);
    config.internalFormat = found->format;
    return true;
}

int convertVideoFormat(VideoFormat format)
{
    for (const auto& entry : kRawFormats) {
        if (entry.capture == format)
            return entry.framekit;
    }
    return FK_VIDEO_FORMAT_NONE;
}

DShowInput::DShowInput(const CameraConfig& config)
    : m_config(config)
{
    if (creationFails(1) || !m_semaphore.create())
        throw "Failed to create semaphore";
    if (creationFails(2) || !m_activatedEvent.create())
        throw "Failed to create activated_event";
    try {
        if (creationFails(3))
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        m_thread = std::thread(&DShowInput::captureThread, this);
    } catch (const std::system_error&) {
        throw "Failed to create thread";
    }
    queueAction(ActionActivateAndSignal);
    fk_log(FK_LOG_DEBUG, "Create DShow");
}

DShowInput::~DShowInput()
{
    {
        std::lock_guard lock(m_queueLock);
        m_actions.assign(1, ActionShutdown);
    }
    m_semaphore.release();
    m_thread.join();
    fk_log(FK_LOG_DEBUG, "Destroy DShow");
    fk_free(m_latestFrame.data[0]);
    freeCameraDecoder(&m_decoder);
}

void DShowInput::queueAction(int action)
{
    std::lock_guard lock(m_queueLock);
    m_actions.push_back(action);
    m_semaphore.release();
}

void DShowInput::pollFrame(FrameCallback callback, void* context)
{
    std::lock_guard lock(m_queueLock);
    if (m_latestFrame.data[0] && callback) {
        callback(m_latestFrame.data[0], static_cast<int>(m_latestFrame.linesize[0]),
            static_cast<int>(m_latestFrame.width), static_cast<int>(m_latestFrame.height), context);
    }
}

bool DShowInput::waitActivated(std::chrono::milliseconds timeout) { return m_activatedEvent.wait(timeout); }

void DShowInput::captureThread()
{
    // No window messages on Linux: the semaphore is the only thing to wait for.
    for (;;) {
        if (!m_semaphore.wait())
            return;
        int action = 0;
        {
            std::lock_guard lock(m_queueLock);
            if (!m_actions.empty()) {
                action = m_actions.front();
                m_actions.erase(m_actions.begin());
            }
        }
        switch (action) {
        case ActionActivate:
            activate();
            break;
        case ActionActivateAndSignal:
            activate();
            m_activatedEvent.set();
            break;
        case ActionDeactivate:
            m_device.ResetGraph();
            break;
        case ActionShutdown:
            m_device.ShutdownGraph();
            return;
        case ActionConfigVideo:
        case ActionConfigAudio:
        case ActionConfigCrossbar:
        case ActionConfigCrossbar2:
            fk_log(FK_LOG_INFO, "Property dialog %d: property pages are not supported on Linux",
                action - ActionConfigVideo);
            break;
        default:
            break;
        }
    }
}

bool DShowInput::activate()
{
    if (!m_device.ResetGraph())
        return false;
    if (!updateVideoConfig()) {
        fk_log(FK_LOG_WARNING, "Video configuration failed");
        return false;
    }
    if (!m_device.ConnectFilters())
        return false;
    return m_device.Start() == Result::Success;
}

bool DShowInput::updateVideoConfig()
{
    std::lock_guard lock(m_configLock);
    const char* id = m_config.deviceId.c_str();
    std::wstring name, path;
    if (!DecodeDeviceId(m_config.deviceId, name, path)) {
        fk_log(FK_LOG_WARNING, "%s: DecodeDeviceId failed", id);
        return false;
    }

    std::vector<VideoDevice> devices;
    Device::EnumVideoDevices(devices);
    const auto device = std::find_if(devices.begin(), devices.end(),
        [&](const VideoDevice& candidate) { return candidate.name == name && candidate.path == path; });
    if (device == devices.end())
        return false;

    m_videoConfig.name = name;
    m_videoConfig.path = path;
    m_videoConfig.useDefaultConfig = false;
    if (!chooseCapability(device->caps, m_config.cx, m_config.cy, m_videoConfig))
        return false;
    if (m_videoConfig.cx <= 0 || m_videoConfig.cy_abs == 0)
        return false;

    m_videoConfig.callback
        = [this](const VideoConfig& config, unsigned char* data, size_t size, long long start, long long stop,
              long rotation) { onVideoData(config, data, size, start, stop, rotation); };
    m_videoConfig.reactivateCallback = nullptr;
    m_videoConfig.format = m_videoConfig.internalFormat;
    if (!m_device.SetVideoConfig(&m_videoConfig)) {
        fk_log(FK_LOG_WARNING, "%s: device.SetVideoConfig failed", id);
        return false;
    }

    const char* stars = "**************************************";
    const int64_t interval = m_videoConfig.frameInterval;
    const float fps = interval > 0 ? 10000000.0f / static_cast<float>(interval) : 0.0f;
    fk_log(FK_LOG_INFO, "%s", stars);
    fk_log(FK_LOG_INFO,
        "[Open DShow Device: '%s']: \n\tresolution: %dx%d\n\tflip: %d\n\tfps: %0.2f (interval: "
        "%lld)\n\tformat: %d",
        id, m_videoConfig.cx, m_videoConfig.cy_abs, m_videoConfig.cy_flip ? 1 : 0, static_cast<double>(fps),
        static_cast<long long>(interval), static_cast<int>(m_videoConfig.format));
    fk_log(FK_LOG_INFO, "%s", stars);
    return true;
}

void DShowInput::onVideoData(
    const VideoConfig& config, unsigned char* data, size_t size, long long startTime, long long, long)
{
    if (config.format == VideoFormat::MJPEG) {
        decodeSample(AV_CODEC_ID_MJPEG, data, size, startTime);
        return;
    }
    if (config.format == VideoFormat::H264) {
        decodeSample(AV_CODEC_ID_H264, data, size, startTime);
        return;
    }
    if (!data || convertVideoFormat(config.format) == FK_VIDEO_FORMAT_NONE || config.cx <= 0
        || config.cy_abs <= 0)
        return;

    fk_video_frame probe {};
    const size_t needed = describeRawSample(config, nullptr, probe);
    if (size < needed) {
        logShortSample(size, needed, config);
        return;
    }

    auto* copy = static_cast<uint8_t*>(fk_malloc(size + kSampleSpare));
    if (!copy)
        return;
    std::memcpy(copy, data, size);
    std::memset(copy + size, 0, kSampleSpare);
    fk_video_frame frame {};
    describeRawSample(config, copy, frame);
    if (uint8_t* bgra = fk_video_frame_convert_to_bgra(&frame))
        storeLatestFrame(bgra, frame.width, frame.height);
    fk_free(copy);
}

void DShowInput::decodeSample(AVCodecID codec, const unsigned char* data, size_t size, long long startTime)
{
    if (m_decoder.context && m_decoder.codec->id != codec)
        freeCameraDecoder(&m_decoder);
    if (!m_decoder.context && openCameraDecoder(&m_decoder, codec) < 0) {
        fk_log(FK_LOG_WARNING, "Could not initialize video decoder");
        return;
    }
    fk_video_frame frame {};
    int64_t timestamp = startTime;
    bool gotPicture = false;
    if (!decodeCameraSample(&m_decoder, data, size, &timestamp, &frame, &gotPicture)) {
        fk_log(FK_LOG_WARNING, "Error decoding video");
        return;
    }
    if (!gotPicture)
        return;
    if (uint8_t* bgra = fk_video_frame_convert_to_bgra(&frame))
        storeLatestFrame(bgra, frame.width, frame.height);
}

void DShowInput::storeLatestFrame(uint8_t* bgra, uint32_t width, uint32_t height)
{
    std::lock_guard lock(m_queueLock);
    fk_free(m_latestFrame.data[0]);
    m_latestFrame = {};
    m_latestFrame.data[0] = bgra;
    m_latestFrame.linesize[0] = width * 4;
    m_latestFrame.width = width;
    m_latestFrame.height = height;
    m_latestFrame.format = FK_VIDEO_FORMAT_BGRA;
}

void DShowInput::logShortSample(size_t size, size_t needed, const VideoConfig& config)
{
    ++m_shortSamplesDropped;
    const auto now = std::chrono::steady_clock::now();
    if (m_lastShortSampleLog != std::chrono::steady_clock::time_point {}
        && now - m_lastShortSampleLog < kShortSampleLogEvery)
        return;
    m_lastShortSampleLog = now;
    fk_log(FK_LOG_WARNING,
        "Camera sample of %zu bytes is shorter than a %dx%d picture of format %d (%zu bytes): dropped "
        "(%" PRIu64 " so far)",
        size, config.cx, config.cy_abs, static_cast<int>(config.format), needed, m_shortSamplesDropped);
}

} // namespace DShow
