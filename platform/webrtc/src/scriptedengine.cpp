// The scripted engine for tests: one worker thread per connection plays its steps, races start extra threads
// behind a common start line, and every call is recorded.
#include <zovwebrtc/scriptedengine.h>

#include <algorithm>
#include <atomic>
#include <deque>

namespace zovwebrtc {

ScriptStep ScriptStep::state(int state)
{
    ScriptStep step;
    step.kind = Kind::State;
    step.value = state;
    return step;
}

ScriptStep ScriptStep::frame(int width, int height, int strideY, int strideU, int strideV)
{
    ScriptStep step;
    step.kind = Kind::Frame;
    step.width = width;
    step.height = height;
    step.strideY = strideY;
    step.strideU = strideU;
    step.strideV = strideV;
    return step;
}

ScriptStep ScriptStep::planeFrame(int width, int height)
{
    ScriptStep step = frame(width, height);
    step.copying = false;
    return step;
}

ScriptStep ScriptStep::racingFrames(int width, int height, int threads)
{
    ScriptStep step = frame(width, height);
    step.threads = threads;
    return step;
}

ScriptStep ScriptStep::iceComplete()
{
    ScriptStep step;
    step.kind = Kind::IceComplete;
    return step;
}

ScriptStep ScriptStep::forward(int a, int b)
{
    ScriptStep step;
    step.kind = Kind::Forward;
    step.value = a;
    step.value2 = b;
    return step;
}

ScriptStep ScriptStep::log(int level, std::string text)
{
    ScriptStep step;
    step.kind = Kind::Log;
    step.value = level;
    step.text = std::move(text);
    return step;
}

ScriptStep ScriptStep::pause(int milliseconds)
{
    ScriptStep step;
    step.kind = Kind::Pause;
    step.value = milliseconds;
    return step;
}

class ScriptedEngine::ScriptedConnection : public Connection,
                                            public std::enable_shared_from_this<ScriptedConnection> {
public:
    ScriptedConnection(ScriptedEngine& engine, int index, ConnectionScript script,
        const peer_connection_callbacks& callbacks)
        : m_engine(engine)
        , m_index(index)
        , m_script(std::move(script))
        , m_callbacks(callbacks)
        , m_start(std::chrono::steady_clock::now())
        , m_worker([this] { run(); })
    {
    }

    ~ScriptedConnection() override { stop(); }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (!m_worker.joinable())
            return;
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach(); // the last owner let go from inside a callback
        else
            m_worker.join();
    }

    bool enqueue(std::vector<ScriptStep> steps)
    {
        std::lock_guard lock(m_mutex);
        if ((m_closing && m_script.close != CloseMode::Never) || m_stop)
            return false;
        for (ScriptStep& step : steps)
            m_queue.push_back([this, step = std::move(step)] { play(step); });
        m_changed.notify_all();
        return true;
    }

    bool waitIdle(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_queue.empty() && !m_busy; });
    }

    bool isClosed() const
    {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }

    void addAudioTrack(bool echoCancellation) override
    {
        m_engine.record(m_index, "addAudioTrack", { echoCancellation ? "true" : "false" });
    }
    void addCameraTrack(const std::string& deviceId, int width, int height, int fps) override
    {
        m_engine.record(m_index, "addCameraTrack",
            { deviceId, std::to_string(width), std::to_string(height), std::to_string(fps) });
    }
    void createOffer(bool receiveVideo, bool receiveAudio) override
    {
        m_engine.record(
            m_index, "createOffer", { receiveVideo ? "true" : "false", receiveAudio ? "true" : "false" });
    }
    void forward(int a, int b) override
    {
        m_engine.record(m_index, "forward", { std::to_string(a), std::to_string(b) });
    }
    void setRemoteDescription(const std::string& type, const std::string& sdp) override
    {
        m_engine.record(m_index, "setRemoteDescription", { type, sdp });
    }
    std::string localDescription() override
    {
        m_engine.record(m_index, "localDescription", {});
        return m_script.localDescription;
    }

    void close(std::function<void()> closed) override
    {
        m_engine.record(m_index, "close", {});
        std::unique_lock lock(m_mutex);
        m_closing = true;
        switch (m_script.close) {
        case CloseMode::Never: {
            // Kept, never run, for the life of the process, as an engine that hangs would keep it.
            // Never destroyed, so that it is still there when the leak check runs after static destructors.
            static std::mutex parkedMutex;
            static auto* parked = new std::vector<std::function<void()>>;
            std::lock_guard parkedLock(parkedMutex);
            parked->push_back(std::move(closed));
            return;
        }
        case CloseMode::Later:
            m_queue.push_back([this, closed = std::move(closed)] {
                std::unique_lock lock(m_mutex);
                if (m_changed.wait_for(lock, m_script.closeDelay, [this] { return m_stop; }))
                    return;
                lock.unlock();
                report(closed);
            });
            m_changed.notify_all();
            return;
        case CloseMode::Immediately:
            bool drained = false;
            m_queue.push_back([this, &drained] {
                std::lock_guard lock(m_mutex);
                drained = true;
            });
            m_changed.notify_all();
            m_changed.wait(lock, [this, &drained] { return drained && !m_busy; });
            lock.unlock();
            report(closed);
            return;
        }
    }

private:
    void report(const std::function<void()>& closed)
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_engine.connectionClosed(m_index);
        closed();
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            std::function<void()> task = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            lock.unlock();
            // A task may let go of the last owner elsewhere (the close report frees the record, and with it
            // the engine): the connection then goes when this thread lets go, and the loop must end.
            std::shared_ptr<ScriptedConnection> self = weak_from_this().lock();
            task();
            task = nullptr;
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
            lock.unlock();
            const bool owned = self != nullptr;
            const std::weak_ptr<ScriptedConnection> watched = self;
            self.reset();
            if (owned && watched.expired())
                return;
            lock.lock();
        }
    }

    void play(const ScriptStep& step)
    {
        const peer_connection_callbacks& c = m_callbacks;
        switch (step.kind) {
        case ScriptStep::Kind::State:
            if (c.state_changed)
                c.state_changed(step.value, c.user);
            break;
        case ScriptStep::Kind::Frame:
            playFrame(step);
            break;
        case ScriptStep::Kind::IceComplete:
            if (c.ice_gathering_complete)
                c.ice_gathering_complete(c.user);
            break;
        case ScriptStep::Kind::Forward:
            if (c.forward)
                c.forward(step.value, step.value2, c.user);
            break;
        case ScriptStep::Kind::Log:
            if (c.log)
                c.log(step.value, step.text.c_str());
            break;
        case ScriptStep::Kind::Pause: {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::milliseconds(step.value), [this] { return m_stop; });
            break;
        }
        }
    }

    // One picture of the pattern in buffers of exactly the plane sizes.
    struct Picture {
        std::vector<uint8_t> y, u, v;
        int strideY, strideU, strideV;
    };

    static Picture paint(const ScriptStep& step)
    {
        const int width = std::max(step.width, 0), height = std::max(step.height, 0);
        const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
        Picture picture { {}, {}, {}, step.strideY ? step.strideY : width,
            step.strideU ? step.strideU : chromaWidth, step.strideV ? step.strideV : chromaWidth };
        picture.y.assign(static_cast<size_t>(picture.strideY) * height, kPadding);
        picture.u.assign(static_cast<size_t>(picture.strideU) * chromaHeight, kPadding);
        picture.v.assign(static_cast<size_t>(picture.strideV) * chromaHeight, kPadding);
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x)
                picture.y[static_cast<size_t>(row) * picture.strideY + x] = patternY(x, row);
        }
        for (int row = 0; row < chromaHeight; ++row) {
            for (int x = 0; x < chromaWidth; ++x) {
                picture.u[static_cast<size_t>(row) * picture.strideU + x] = patternU(x, row);
                picture.v[static_cast<size_t>(row) * picture.strideV + x] = patternV(x, row);
            }
        }
        return picture;
    }

    void deliver(const ScriptStep& step, const Picture& picture)
    {
        const frame_callback callback = step.copying ? m_callbacks.frame_copy : m_callbacks.frame;
        if (!callback)
            return;
        const auto time = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - m_start);
        callback(time.count(), picture.y.data(), picture.u.data(), picture.v.data(), nullptr, picture.strideY,
            picture.strideU, picture.strideV, 0, step.width, step.height, m_callbacks.user);
    }

    void playFrame(const ScriptStep& step)
    {
        if (step.threads <= 1) {
            deliver(step, paint(step));
            return;
        }
        std::atomic<int> waiting { step.threads };
        std::vector<std::thread> racers;
        for (int i = 0; i < step.threads; ++i) {
            racers.emplace_back([this, &step, &waiting] {
                const Picture picture = paint(step);
                waiting.fetch_sub(1);
                while (waiting.load() > 0)
                    std::this_thread::yield();
                deliver(step, picture);
            });
        }
        for (std::thread& racer : racers)
            racer.join();
    }

    ScriptedEngine& m_engine;
    const int m_index;
    const ConnectionScript m_script;
    const peer_connection_callbacks m_callbacks;
    const std::chrono::steady_clock::time_point m_start;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    bool m_closing = false;
    bool m_closed = false;
    std::thread m_worker; // last: starts once everything above is ready
};

ScriptedEngine::ScriptedEngine() = default;

ScriptedEngine::~ScriptedEngine()
{
    std::vector<std::shared_ptr<ScriptedConnection>> connections;
    {
        std::lock_guard lock(m_mutex);
        connections = m_connections;
    }
    for (const auto& connection : connections) {
        if (connection)
            connection->stop();
    }
}

void ScriptedEngine::expectConnection(ConnectionScript script)
{
    std::lock_guard lock(m_mutex);
    m_scripts.push_back(std::move(script));
}

void ScriptedEngine::setCloseHook(std::function<void(int connection)> hook)
{
    std::lock_guard lock(m_mutex);
    m_closeHook = std::move(hook);
}

bool ScriptedEngine::play(int connection, std::vector<ScriptStep> steps)
{
    std::shared_ptr<ScriptedConnection> target;
    {
        std::lock_guard lock(m_mutex);
        if (connection < 0 || connection >= static_cast<int>(m_connections.size()))
            return false;
        target = m_connections[static_cast<size_t>(connection)];
    }
    return target && target->enqueue(std::move(steps));
}

bool ScriptedEngine::waitIdle(int connection, std::chrono::milliseconds timeout)
{
    std::shared_ptr<ScriptedConnection> target;
    {
        std::lock_guard lock(m_mutex);
        if (connection < 0 || connection >= static_cast<int>(m_connections.size()))
            return false;
        target = m_connections[static_cast<size_t>(connection)];
    }
    return target && target->waitIdle(timeout);
}

bool ScriptedEngine::waitForConnections(int count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return static_cast<int>(m_connections.size()) >= count; });
}

bool ScriptedEngine::waitForCalls(const std::string& name, int count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        int found = 0;
        for (const EngineCall& call : m_calls)
            found += call.name == name;
        return found >= count;
    });
}

bool ScriptedEngine::waitForCall(int connection, const std::string& name, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        return std::any_of(m_calls.begin(), m_calls.end(),
            [&](const EngineCall& call) { return call.connection == connection && call.name == name; });
    });
}

int ScriptedEngine::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_connections.size());
}

std::vector<EngineCall> ScriptedEngine::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<EngineCall> ScriptedEngine::calls(const std::string& name) const
{
    std::vector<EngineCall> found;
    for (EngineCall& call : calls()) {
        if (call.name == name)
            found.push_back(std::move(call));
    }
    return found;
}

bool ScriptedEngine::closed(int connection) const
{
    std::shared_ptr<ScriptedConnection> target;
    {
        std::lock_guard lock(m_mutex);
        if (connection < 0 || connection >= static_cast<int>(m_connections.size()))
            return false;
        target = m_connections[static_cast<size_t>(connection)];
    }
    return target && target->isClosed();
}

std::shared_ptr<Connection> ScriptedEngine::createConnection(
    const Configuration& configuration, const peer_connection_callbacks& callbacks)
{
    std::unique_lock lock(m_mutex);
    const int index = static_cast<int>(m_connections.size());
    ConnectionScript script = index < static_cast<int>(m_scripts.size())
        ? m_scripts[static_cast<size_t>(index)]
        : ConnectionScript();
    m_calls.push_back({ index, "createConnection",
        { configuration.singleTransport ? "singleTransport" : "transportPerKind",
            configuration.hostCandidatesOnly ? "hostCandidatesOnly" : "anyCandidates" },
        std::this_thread::get_id() });
    std::shared_ptr<ScriptedConnection> connection;
    std::vector<ScriptStep> duringCreate = script.duringCreate;
    if (!script.refuse)
        connection = std::make_shared<ScriptedConnection>(*this, index, std::move(script), callbacks);
    m_connections.push_back(connection);
    m_changed.notify_all();
    lock.unlock();
    if (connection && !duringCreate.empty()) {
        connection->enqueue(std::move(duringCreate));
        connection->waitIdle(std::chrono::seconds(10));
    }
    return connection;
}

void ScriptedEngine::record(int connection, std::string name, std::vector<std::string> arguments)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back({ connection, std::move(name), std::move(arguments), std::this_thread::get_id() });
    m_changed.notify_all();
}

void ScriptedEngine::connectionClosed(int connection)
{
    std::function<void(int)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_closeHook;
    }
    if (hook)
        hook(connection);
}

} // namespace zovwebrtc
