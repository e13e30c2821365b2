#pragma once

// The engine behind the zovwebrtc records: what makes and runs peer connections. The records only translate
// calls; an engine does the work. The built-in engine is the production one; tests put a scripted engine in
// its place with setDefaultEngine before they create a factory.
//
// Rules for an engine:
// - Every method may be called from any thread, also concurrently; a connection's methods may still be
//   running on one thread while close() starts on another.
// - Callbacks (the record given to createConnection, already copied) come from the engine's own threads.
//   Each picture goes to callbacks.frame_copy when it is set, else to callbacks.frame.
// - close() is called once; no other method of the connection is called after it has started. The engine
//   stops every callback and then calls `closed` exactly once, from a thread of its own or within close()
//   itself. After `closed` no callback may run. An engine that never closes leaves the owner waiting.
// - The library holds the connection by shared_ptr and drops it in `closed`; an engine whose threads use a
//   connection keeps its own reference while they run.

#include <zovwebrtc/zovwebrtc.h>

#include <functional>
#include <memory>
#include <string>

namespace zovwebrtc {

// Configuration words 1 and 2.
struct Configuration {
    bool singleTransport = false;
    bool hostCandidatesOnly = false;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual void addAudioTrack(bool echoCancellation) = 0;
    virtual void addCameraTrack(const std::string& deviceId, int width, int height, int fps) = 0;
    virtual void createOffer(bool receiveVideo, bool receiveAudio) = 0;
    virtual void forward(int a, int b) = 0;
    virtual void setRemoteDescription(const std::string& type, const std::string& sdp) = 0;
    // The complete local description; empty while there is none.
    virtual std::string localDescription() = 0;
    virtual void close(std::function<void()> closed) = 0;
};

class Engine {
public:
    virtual ~Engine() = default;
    // Null when no connection can be made.
    virtual std::shared_ptr<Connection> createConnection(
        const Configuration& configuration, const peer_connection_callbacks& callbacks)
        = 0;
};

// The engine a factory made from null uses: the one a test set, else the built-in one.
std::shared_ptr<Engine> defaultEngine();
// Test seam; null restores the built-in engine. Factories made before keep the engine they had.
void setDefaultEngine(std::shared_ptr<Engine> engine);
// The production engine (src/builtinengine.cpp): GStreamer's, one per call; GStreamer and the engine's thread
// start with its first connection.
std::shared_ptr<Engine> builtinEngine();

} // namespace zovwebrtc
