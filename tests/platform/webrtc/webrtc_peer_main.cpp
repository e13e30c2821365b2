// One WebRTC peer as a process of its own, for the process-level forwarder test: it publishes the synthetic
// camera and a tone, or plays a stream and checks every picture it gets for the intact pattern.
//   webrtc_peer <service base URL> publish <seconds>     prints "id=<stream id>" once connected
//   webrtc_peer <service base URL> play <id> <seconds>   exits 0 when the pattern came intact all along
#include <zovwebrtc/zovwebrtc.h>

#include <capture/syntheticcamera.h>
#include <korvex/zovnet.h>

#include "support/testpattern_reader.h"

#include <QByteArray>

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace zovwebrtc;

struct Peer {
    peer_connection_callbacks callbacks {};
    std::atomic<peer_connection*> connection { nullptr };
    std::atomic<bool> gathered { false };
    std::atomic<int> state { -1 };
    std::mutex mutex;
    std::vector<uint32_t> numbers;
    int broken = 0; // pictures without the intact pattern
};

// At half the size: the reader averages areas, and a busy machine must keep up with the pictures.
std::vector<uint8_t> toBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int sy, int su, int sv, int w, int h)
{
    std::vector<uint8_t> out(size_t(w) * h * 4);
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const int c = y[row * 2 * sy + col * 2] - 16;
            const int d = u[row * su + col] - 128;
            const int e = v[row * sv + col] - 128;
            uint8_t* p = &out[(size_t(row) * w + col) * 4];
            p[0] = uint8_t(std::clamp((298 * c + 516 * d + 128) >> 8, 0, 255));
            p[1] = uint8_t(std::clamp((298 * c - 100 * d - 208 * e + 128) >> 8, 0, 255));
            p[2] = uint8_t(std::clamp((298 * c + 409 * e + 128) >> 8, 0, 255));
        }
    }
    return out;
}

template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string description(Peer& peer)
{
    peer_connection* connection = peer.connection.load();
    const int length = connection->get_local_description(connection->handle, nullptr, 0);
    std::string text(size_t(std::max(length, 0)) + 1, '\0');
    connection->get_local_description(connection->handle, text.data(), int(text.size()));
    text.resize(size_t(std::max(length, 0)));
    return text;
}

// The offer to the service's signalling path; the answer, or empty with the reason on stderr.
std::string exchange(const std::string& base, long long streamId, const std::string& offer, long long& id)
{
    Json::Value body;
    body["stream_id"] = Json::Int64(streamId);
    body["type"] = 1;
    body["sdp"] = QByteArray::fromStdString(offer).toBase64().toStdString();
    const auto response = Zov_Client::ZovNet(base).post("/zovpion/getRtcSdp", Json::FastWriter().write(body));
    Json::Value reply;
    if (!Json::Reader().parse(response.body, reply) || reply["errcode"].asInt() != 0) {
        std::fprintf(stderr, "webrtc_peer: refused: %s\n", response.body.c_str());
        return {};
    }
    id = reply["result"]["id"].asInt64();
    return QByteArray::fromBase64(QByteArray::fromStdString(reply["result"]["sdp"].asString())).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: webrtc_peer <base URL> publish <seconds> | play <id> <seconds>\n");
        return 2;
    }
    const std::string base = argv[1];
    const bool publish = std::strcmp(argv[2], "publish") == 0;
    const long long playId = publish ? 0 : std::atoll(argv[3]);
    const int seconds = std::atoi(argv[publish ? 3 : 4]);

    Peer peer;
    peer.callbacks.user = &peer;
    peer.callbacks.ice_gathering_complete = [](void* user) { static_cast<Peer*>(user)->gathered = true; };
    peer.callbacks.state_changed = [](int state, void* user) { static_cast<Peer*>(user)->state = state; };
    peer.callbacks.frame_copy = [](int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*,
                                    int sy, int su, int sv, int, int w, int h, void* user) {
        auto* self = static_cast<Peer*>(user);
        const auto bgrx = toBgrx(y, u, v, sy, su, sv, w / 2, h / 2);
        const auto number = testpattern_reader::readBgrx(bgrx.data(), w / 2 * 4, w / 2, h / 2, 12);
        std::lock_guard lock(self->mutex);
        if (number)
            self->numbers.push_back(*number);
        else
            ++self->broken;
    };
    peer_connection_factory* factory = create_peer_connection_factory();
    rtc_configuration* configuration = create_rtc_configuration();
    configuration->set_single_transport(configuration->handle, 1);
    peer.connection = factory->create_peer_connection(factory->handle, configuration, &peer.callbacks);
    destroy_rtc_configuration(&configuration);
    peer_connection* connection = peer.connection.load();
    if (!connection) {
        std::fprintf(stderr, "webrtc_peer: no connection\n");
        return 1;
    }

    int status = 0;
    if (publish) {
        connection->add_audio_track(connection->handle, false);
        char name[256];
        char id[1024];
        for (unsigned i = 0; i < list_device_num(); ++i) {
            if (get_device_name(i, name, sizeof name, id, sizeof id))
                break;
        }
        connection->add_camera_track(connection->handle, id, 640, 480, 30);
        connection->create_offer(connection->handle, false, false);
    } else {
        connection->create_offer(connection->handle, true, true);
    }
    long long streamId = 0;
    std::string answer;
    if (!waitFor([&] { return peer.gathered.load(); }, 15s)
        || (answer = exchange(base, playId, description(peer), streamId)).empty()) {
        status = 1;
    } else {
        connection->set_remote_description(connection->handle, "answer", answer.c_str());
        if (!waitFor([&] { return peer.state == kStateConnected; }, 15s)) {
            std::fprintf(stderr, "webrtc_peer: not connected\n");
            status = 1;
        } else if (publish) {
            std::printf("id=%lld\n", streamId);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
        } else {
            // The first pictures may still be on their way: counted from the first readable one.
            waitFor([&] {
                std::lock_guard lock(peer.mutex);
                return !peer.numbers.empty();
            }, 15s);
            {
                std::lock_guard lock(peer.mutex);
                peer.numbers.clear();
                peer.broken = 0;
            }
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            std::lock_guard lock(peer.mutex);
            const bool rising = std::is_sorted(peer.numbers.begin(), peer.numbers.end())
                && std::adjacent_find(peer.numbers.begin(), peer.numbers.end()) == peer.numbers.end();
            // Pictures all along (a busy machine under the sanitizers delivers a few per second), all intact.
            if (peer.broken > 0 || !rising || peer.numbers.size() < size_t(seconds) * 2) {
                std::fprintf(stderr, "webrtc_peer: %zu intact pictures, %d broken, rising: %d\n",
                    peer.numbers.size(), peer.broken, rising ? 1 : 0);
                status = 1;
            }
        }
    }
    destroy_peer_connection(&peer.connection);
    waitFor([&] { return peer.connection.load() == nullptr; }, 10s);
    destroy_peer_connection_factory(&factory);
    return status;
}
