#pragma once

// An engine for tests: each connection plays what the test scripts, from threads of the engine's own, and the
// engine records every call it gets with its arguments and thread. Connections are numbered 0, 1, … in the
// order they were made.
//
// Each connection has one worker thread that plays its steps in order; a frame step with threads > 1 starts
// that many extra threads that deliver the same picture at the same moment (a race), and joins them before
// the next step. Closing is a step too, so it follows everything played before it, and no callback follows
// it; a connection that never closes keeps playing what it is given. Pictures carry the test pattern below in
// fresh buffers of exactly the scripted size (so that reading past a plane shows under AddressSanitizer),
// their row padding filled with kPadding.
//
// Thread safety: every method may be called from any thread. The destructor joins every thread; the engine
// must outlive the connections it made. A connection scripted never to close keeps its pending close (and
// with it the library's connection state) for the life of the process.

#include <zovwebrtc/engine.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zovwebrtc {

struct ScriptStep {
    enum class Kind { State, Frame, IceComplete, Forward, Log, Pause };
    Kind kind = Kind::Pause;
    int value = 0; // State: the state; Forward: a; Log: the level; Pause: milliseconds
    int value2 = 0; // Forward: b
    std::string text; // Log
    // Frame: size and strides (0: the tight stride), whether it goes through frame_copy (else frame), and
    // how many threads deliver it at once.
    int width = 0;
    int height = 0;
    int strideY = 0;
    int strideU = 0;
    int strideV = 0;
    bool copying = true;
    int threads = 1;

    static ScriptStep state(int state);
    static ScriptStep frame(int width, int height, int strideY = 0, int strideU = 0, int strideV = 0);
    static ScriptStep planeFrame(int width, int height); // through callback 7
    static ScriptStep racingFrames(int width, int height, int threads);
    static ScriptStep iceComplete();
    static ScriptStep forward(int a, int b);
    static ScriptStep log(int level, std::string text);
    static ScriptStep pause(int milliseconds);
};

enum class CloseMode {
    Immediately, // before close() returns, once the steps played before it are done
    Later, // from the worker thread, closeDelay after close()
    Never,
};

struct ConnectionScript {
    bool refuse = false; // the factory gets no connection
    std::string localDescription;
    CloseMode close = CloseMode::Later;
    std::chrono::milliseconds closeDelay { 0 };
    // Played on the connection's thread before createConnection returns, when the owner has no connection
    // pointer yet.
    std::vector<ScriptStep> duringCreate;
};

struct EngineCall {
    int connection = -1; // -1: the engine itself
    std::string name; // createConnection, addAudioTrack, addCameraTrack, createOffer, forward,
                      // setRemoteDescription, localDescription, close
    std::vector<std::string> arguments;
    std::thread::id thread;
};

class ScriptedEngine : public Engine {
public:
    ScriptedEngine();
    ~ScriptedEngine() override;

    // Scripts for the connections still to be made, in order; later ones get the default script.
    void expectConnection(ConnectionScript script);
    // Runs at the moment a connection reports its close, on that thread, just before `closed`.
    void setCloseHook(std::function<void(int connection)> hook);

    // Queues steps after those already queued for the connection; false for an unknown connection.
    bool play(int connection, std::vector<ScriptStep> steps);
    // Waits until the connection's queued steps have run.
    bool waitIdle(int connection, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until `count` connections were asked for (made or refused).
    bool waitForConnections(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the engine has recorded `count` calls of that name.
    bool waitForCalls(
        const std::string& name, int count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the connection has recorded a call of that name. An owner makes its calls only once it
    // holds the connection, so after its "createOffer" the owner also hears the connection's callbacks.
    bool waitForCall(
        int connection, const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(30));

    int connectionCount() const;
    std::vector<EngineCall> calls() const;
    std::vector<EngineCall> calls(const std::string& name) const;
    bool closed(int connection) const;

    std::shared_ptr<Connection> createConnection(
        const Configuration& configuration, const peer_connection_callbacks& callbacks) override;

    // The test pattern: the value of each plane at column x and row y of that plane.
    static uint8_t patternY(int x, int y) { return static_cast<uint8_t>(x * 3 + y * 7); }
    static uint8_t patternU(int x, int y) { return static_cast<uint8_t>(x * 5 + y * 11 + 64); }
    static uint8_t patternV(int x, int y) { return static_cast<uint8_t>(x * 13 + y * 2 + 128); }
    static constexpr uint8_t kPadding = 0xA5;

private:
    class ScriptedConnection;
    friend class ScriptedConnection;

    void record(int connection, std::string name, std::vector<std::string> arguments);
    void connectionClosed(int connection);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ConnectionScript> m_scripts;
    std::vector<std::shared_ptr<ScriptedConnection>> m_connections; // null where refused
    std::vector<EngineCall> m_calls;
    std::function<void(int)> m_closeHook;
};

} // namespace zovwebrtc
