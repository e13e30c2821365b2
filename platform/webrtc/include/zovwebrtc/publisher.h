#pragma once

// Publishing for the studio: I420 pictures pushed in, audio from a GStreamer source description, encoded to
// VP8 and Opus with the settings given, sent over one WebRTC connection (offer and answer as with the
// connection records, complete descriptions only) and handed out encoded as well, for recording.
// ICE as the engine's connections: host candidates on TAVICAST_ICE_ADDRESSES, else on every interface.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zovwebrtc {

struct PublisherSettings {
    int width = 1280;
    int height = 720;
    int fps = 30;
    int bitrateKbps = 1000;
    enum class RateControl { Variable, Constant } rateControl = RateControl::Variable;
    int keyFrameInterval = 60; // at most this many pictures between key frames
    std::string audioSource; // a GStreamer source description, e.g. "pulsesrc"; empty: no audio
};

// The VP8 encoder as the publisher runs it for these settings, as a GStreamer element description.
std::string vp8EncoderDescription(const PublisherSettings& settings);

// What the publisher reports, from GStreamer's threads. Any may be empty.
struct PublisherCallbacks {
    std::function<void()> offerReady; // the complete offer: localDescription()
    std::function<void(int state)> stateChanged; // kStateConnecting, kStateConnected, kStateLost
    // One encoded unit: a VP8 frame (video) or an Opus packet, its time in microseconds.
    std::function<void(bool video, const uint8_t* data, size_t size, int64_t timeUs, bool keyFrame)> encoded;
};

class StreamPublisher {
public:
    // Null, with a reason, when GStreamer or an element is missing or the settings are out of range.
    static std::unique_ptr<StreamPublisher> create(
        const PublisherSettings& settings, PublisherCallbacks callbacks, std::string* error = nullptr);
    virtual ~StreamPublisher() = default;

    // One picture of the configured size (false for any other, or null planes); copied.
    virtual bool pushI420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int strideY, int strideU,
        int strideV, int width, int height)
        = 0;
    // Makes the offer; offerReady follows when it is complete.
    virtual void createOffer() = 0;
    virtual std::string localDescription() const = 0;
    virtual bool setAnswer(const std::string& sdp) = 0;
    // Mutes or unmutes a "volume" element of the audio source description, by its name; false when the
    // description has no such element.
    virtual bool setAudioMuted(const std::string& volumeName, bool muted) = 0;
    // Makes the next encoded picture a key frame (a recording that starts while the encoding runs).
    virtual void requestKeyFrame() = 0;
    // Pictures pushed and not yet taken by the encoder: a few at most, the oldest dropped for a new one.
    virtual size_t queuedPictures() const = 0;
};

} // namespace zovwebrtc
