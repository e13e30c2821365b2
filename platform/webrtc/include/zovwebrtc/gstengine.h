#pragma once

// The production engine over GStreamer (webrtcbin, libnice): one pipeline per connection, driven from the
// engine's own thread (a GMainContext of its own), which is joined when the engine and its last connection
// are gone. Sends VP8 from the capture layer's cameras and Opus from the default input or the GStreamer
// description in TAVICAST_AUDIO_SOURCE; receives VP8 as I420 pictures to the frame callbacks and Opus to the
// default output or the description in TAVICAST_AUDIO_SINK. Host candidates only, on the addresses in
// TAVICAST_ICE_ADDRESSES (comma-separated), else on every interface; no UPnP, no TCP, no STUN or TURN.

#include <zovwebrtc/engine.h>

#include <chrono>

namespace zovwebrtc {

std::shared_ptr<Engine> createGstEngine();

// How long a receiving connection that had media may go without any before it reports kStateLost
// (5 s by default). Test seam; read when a connection is made.
void setMediaSilenceTimeout(std::chrono::milliseconds timeout);

} // namespace zovwebrtc
