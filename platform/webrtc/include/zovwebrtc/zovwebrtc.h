#pragma once

// Peer connections of the WebRTC layer. The library hands out records whose word 0 is an opaque handle and
// whose further words are functions; every call passes the handle first. Word numbers are fixed (checked
// below): callers index them by position. Words marked reserved stay null and must not be called.
//
// Threads: every word may be called from any thread. Callbacks come on the engine's threads (see
// zovwebrtc/engine.h), never on the caller's; the log callback may also come on the caller's thread.

#include <zovwebrtc/devices.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zovwebrtc {

class Engine;

// States the state callback reports.
inline constexpr int kStateConnected = 0;
inline constexpr int kStateConnecting = 1;
inline constexpr int kStateLost = 2;

// Both frame callbacks receive one I420 picture, valid only during the call: (time in microseconds, Y, U, V,
// alpha plane or null, Y stride, U stride, V stride, alpha stride, width, height, user).
using frame_callback = void (*)(int64_t timeUs, const uint8_t* y, const uint8_t* u, const uint8_t* v,
    const uint8_t* a, int strideY, int strideU, int strideV, int strideA, int width, int height, void* user);

// What a connection reports to its owner: 11 words. A null function is not called. Each picture goes to
// frame_copy when it is set, else to frame. No callback follows the clear of destroy_peer_connection.
struct peer_connection_callbacks {
    void* user; // 0: passed back as the last argument
    void (*forward)(int a, int b, void* user); // 1: carries nothing for the owner to act on
    void* reserved2;
    void* reserved3;
    void (*ice_gathering_complete)(void* user); // 4: the local description is complete
    void* reserved5;
    void* reserved6;
    frame_callback frame; // 7
    frame_callback frame_copy; // 8
    void (*state_changed)(int state, void* user); // 9: kStateConnected, kStateConnecting, kStateLost
    void (*log)(int level, const char* text); // 10
};

struct rtc_configuration {
    void* handle; // 0
    // 1 with 1: one transport for audio and video; with 0 (the default), one per kind.
    void (*set_single_transport)(void* handle, int enabled);
    // 2 with 1: host candidates only, no server-reflexive or relay ones; 0 is the default.
    void (*set_host_candidates_only)(void* handle, int enabled);
};

struct peer_connection {
    void* handle; // 0
    void* reserved1;
    void (*add_audio_track)(void* handle, bool echoCancellation); // 2: the local microphone
    // 3: a camera track from the camera of that unique id (list_device_capability's id) at that mode.
    void (*add_camera_track)(void* handle, const char* deviceId, int width, int height, int fps);
    void* reserved4;
    void* reserved5;
    // 6: makes the local offer; ice_gathering_complete follows once its candidates are gathered.
    void (*create_offer)(void* handle, bool receiveVideo, bool receiveAudio);
    void* reserved7;
    void (*forward)(void* handle, int a, int b); // 8: target of callback 1; carries nothing
    // 9: the remote description, type "offer" or "answer".
    void (*set_remote_description)(void* handle, const char* type, const char* sdp);
    // 10: copies the local description, NUL-terminated and cut to size - 1 bytes, into the buffer, like
    // snprintf, and returns its whole length in bytes (0 when there is none yet).
    int (*get_local_description)(void* handle, char* buffer, int size);
};

struct peer_connection_factory {
    void* handle; // 0
    // 1: a new connection that reports through the callbacks (the record is copied), or null when none
    // could be made. The configuration is read during the call only.
    peer_connection* (*create_peer_connection)(
        void* handle, rtc_configuration* configuration, const peer_connection_callbacks* callbacks);
};

static_assert(sizeof(peer_connection_callbacks) == 11 * sizeof(void*));
static_assert(offsetof(peer_connection_callbacks, log) == 10 * sizeof(void*));
static_assert(offsetof(rtc_configuration, set_host_candidates_only) == 2 * sizeof(void*));
static_assert(offsetof(peer_connection, get_local_description) == 10 * sizeof(void*));
static_assert(offsetof(peer_connection_factory, create_peer_connection) == 1 * sizeof(void*));

// A configuration with the defaults; freed (and the pointer cleared) by destroy_rtc_configuration, which
// accepts null.
rtc_configuration* create_rtc_configuration();
void destroy_rtc_configuration(rtc_configuration** configuration);

// A factory whose connections the engine makes; null takes the process's default engine (defaultEngine()).
// Connections outlive their factory. destroy_peer_connection_factory frees it and clears the pointer.
peer_connection_factory* create_peer_connection_factory(std::shared_ptr<Engine> engine = nullptr);
void destroy_peer_connection_factory(peer_connection_factory** factory);

// Closes the connection the slot holds. The slot is cleared later, from a thread of the library (or before
// this returns): the library stores null into it as its very last action, after which no callback of the
// connection runs and the record is gone. From this call on the owner calls the record's words only from
// inside its callbacks (they do nothing now); the slot must stay valid until it reads null. A slot that
// already holds null, or a second call for the same connection, is left alone.
void destroy_peer_connection(std::atomic<peer_connection*>* connection);

} // namespace zovwebrtc
