#pragma once

// A WebRTC peer made of GStreamer elements alone, for testing the service's forwarder: a publisher sends a
// live test pattern (VP8) and a tone (Opus); a player receives, decodes and counts what arrives. Its payload
// types differ from the publisher's on purpose. ICE on TAVICAST_ICE_ADDRESSES (host candidates only).

#include <atomic>
#include <chrono>
#include <string>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

namespace testsupport {

class GstWebrtcPeer {
public:
    enum class Role { Publisher, Player };
    struct Options {
        bool video = true;
        bool audio = true;
        int keyFrameDistance = 100000; // frames between key frames the publisher sends unasked
    };

    GstWebrtcPeer(Role role, Options options);
    ~GstWebrtcPeer();
    GstWebrtcPeer(const GstWebrtcPeer&) = delete;
    GstWebrtcPeer& operator=(const GstWebrtcPeer&) = delete;

    // The complete offer (gathering finished); empty with a reason on failure.
    std::string offer(std::string* error = nullptr);
    bool setAnswer(const std::string& sdp, std::string* error = nullptr);

    bool connected() const; // ICE and DTLS up
    bool waitConnected(std::chrono::milliseconds timeout) const;

    // What a player decoded so far.
    int videoFrames() const { return m_videoFrames; }
    int audioBuffers() const { return m_audioBuffers; }
    bool waitVideoFrames(int count, std::chrono::milliseconds timeout) const;

    // The publisher leaves, or the player goes away: the pipeline stops.
    void stop();

private:
    static void onPadAdded(GstElement* webrtc, GstPad* pad, void* self);

    Role m_role;
    Options m_options;
    GstElement* m_pipeline = nullptr;
    GstElement* m_webrtc = nullptr;
    std::atomic<int> m_videoFrames { 0 };
    std::atomic<int> m_audioBuffers { 0 };
};

} // namespace testsupport
