// The configuration, factory and connection records over an engine.
#include <zovwebrtc/engine.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

namespace zovwebrtc {
namespace {

    std::mutex g_engineMutex;
    std::shared_ptr<Engine> g_testEngine;

    // Configuration.

    Configuration& configurationOf(void* handle) { return *static_cast<Configuration*>(handle); }

    void setSingleTransport(void* handle, int enabled)
    {
        configurationOf(handle).singleTransport = enabled == 1;
    }
    void setHostCandidatesOnly(void* handle, int enabled)
    {
        configurationOf(handle).hostCandidatesOnly = enabled == 1;
    }

    struct ConfigurationRecord {
        rtc_configuration record {};
        Configuration values;
    };

    // Connection: the record is the first member, so the record's address is the state's.

    struct ConnectionState {
        peer_connection record {};
        std::shared_ptr<Engine> engine; // keeps the engine while the connection lives
        std::shared_ptr<Connection> connection;
        std::atomic<bool> closing { false };
    };

    // The connection, or null once closing began: nothing reaches the engine after close().
    Connection* live(void* handle)
    {
        auto* state = static_cast<ConnectionState*>(handle);
        return state->closing.load(std::memory_order_acquire) ? nullptr : state->connection.get();
    }

    void addAudioTrack(void* handle, bool echoCancellation)
    {
        if (Connection* connection = live(handle))
            connection->addAudioTrack(echoCancellation);
    }

    void addCameraTrack(void* handle, const char* deviceId, int width, int height, int fps)
    {
        if (Connection* connection = live(handle))
            connection->addCameraTrack(deviceId ? deviceId : "", width, height, fps);
    }

    void createOffer(void* handle, bool receiveVideo, bool receiveAudio)
    {
        if (Connection* connection = live(handle))
            connection->createOffer(receiveVideo, receiveAudio);
    }

    void forward(void* handle, int a, int b)
    {
        if (Connection* connection = live(handle))
            connection->forward(a, b);
    }

    void setRemoteDescription(void* handle, const char* type, const char* sdp)
    {
        if (Connection* connection = live(handle))
            connection->setRemoteDescription(type ? type : "", sdp ? sdp : "");
    }

    int localDescription(void* handle, char* buffer, int size)
    {
        Connection* connection = live(handle);
        const std::string text = connection ? connection->localDescription() : std::string();
        if (buffer && size > 0) {
            const size_t count = std::min(text.size(), static_cast<size_t>(size) - 1);
            std::memcpy(buffer, text.data(), count);
            buffer[count] = '\0';
        }
        return static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
    }

    // Factory.

    struct FactoryState {
        peer_connection_factory record {};
        std::shared_ptr<Engine> engine;
    };

    peer_connection* createPeerConnection(
        void* handle, rtc_configuration* configuration, const peer_connection_callbacks* callbacks)
    {
        auto* factory = static_cast<FactoryState*>(handle);
        if (!factory->engine || !callbacks)
            return nullptr;
        const Configuration values = configuration ? configurationOf(configuration->handle) : Configuration();
        auto state = std::make_unique<ConnectionState>();
        state->engine = factory->engine;
        state->connection = factory->engine->createConnection(values, *callbacks);
        if (!state->connection)
            return nullptr;
        peer_connection& record = state->record;
        record.handle = state.get();
        record.add_audio_track = addAudioTrack;
        record.add_camera_track = addCameraTrack;
        record.create_offer = createOffer;
        record.forward = forward;
        record.set_remote_description = setRemoteDescription;
        record.get_local_description = localDescription;
        return &state.release()->record;
    }

} // namespace

std::shared_ptr<Engine> defaultEngine()
{
    {
        std::lock_guard lock(g_engineMutex);
        if (g_testEngine)
            return g_testEngine;
    }
    return builtinEngine();
}

void setDefaultEngine(std::shared_ptr<Engine> engine)
{
    std::lock_guard lock(g_engineMutex);
    g_testEngine = std::move(engine);
}

rtc_configuration* create_rtc_configuration()
{
    auto* state = new ConfigurationRecord;
    state->record.handle = &state->values;
    state->record.set_single_transport = setSingleTransport;
    state->record.set_host_candidates_only = setHostCandidatesOnly;
    return &state->record;
}

void destroy_rtc_configuration(rtc_configuration** configuration)
{
    if (!configuration || !*configuration)
        return;
    delete reinterpret_cast<ConfigurationRecord*>(*configuration);
    *configuration = nullptr;
}

peer_connection_factory* create_peer_connection_factory(std::shared_ptr<Engine> engine)
{
    auto* state = new FactoryState;
    state->engine = engine ? std::move(engine) : defaultEngine();
    state->record.handle = state;
    state->record.create_peer_connection = createPeerConnection;
    return &state->record;
}

void destroy_peer_connection_factory(peer_connection_factory** factory)
{
    if (!factory || !*factory)
        return;
    delete static_cast<FactoryState*>((*factory)->handle);
    *factory = nullptr;
}

void destroy_peer_connection(std::atomic<peer_connection*>* slot)
{
    peer_connection* record = slot ? slot->load(std::memory_order_acquire) : nullptr;
    if (!record)
        return;
    auto* state = static_cast<ConnectionState*>(record->handle);
    if (state->closing.exchange(true, std::memory_order_acq_rel))
        return; // already closing: the first call clears the slot
    std::shared_ptr<Connection> connection = state->connection;
    connection->close([state, slot] {
        delete state;
        slot->store(nullptr, std::memory_order_release);
    });
}

} // namespace zovwebrtc
