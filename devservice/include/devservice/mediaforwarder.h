#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace devservice {

// What an offer got: the complete answer (every candidate in it, no trickle) and the stream's id, or why
// it was refused.
struct ForwarderAnswer {
    bool ok = false;
    std::string sdp;
    long long id = 0;
    std::string error;
    // Why an offer was refused, beyond a failure to answer it.
    enum class Refusal {
        None,
        NoCarriedCodec, // no m-line offers VP8 video or Opus audio
        Full, // the streams, or the stream's players, are at their bound
    } refusal = Refusal::None;
};

struct MediaForwarderOptions {
    // Host candidates only, on these addresses; empty: on every interface. Default: the comma-separated
    // list in TAVICAST_ICE_ADDRESSES.
    std::vector<std::string> iceAddresses = iceAddressesFromEnvironment();
    std::chrono::milliseconds gatheringTimeout { 5000 };
    // A publisher that sent media and then nothing for this long has left; one that never sent any is given
    // `firstMediaTimeout` from its answer.
    std::chrono::milliseconds silenceTimeout { 5000 };
    std::chrono::milliseconds firstMediaTimeout { 20000 };
    // A player from which nothing (no RTCP report) arrived for this long has left; one that never connects
    // is given `firstMediaTimeout` from its answer. A player's reports come every few seconds.
    std::chrono::milliseconds playerSilenceTimeout { millisecondsFromEnvironment(
        "TAVICAST_FORWARDER_PLAYER_SILENCE_MS", 20000) };
    // How long a webrtcbin call (applying a description, making an answer) may take.
    std::chrono::milliseconds promiseTimeout { 5000 };
    // Offers past these bounds are refused (ForwarderAnswer::Refusal::Full).
    size_t maxStreams = size_t(numberFromEnvironment("TAVICAST_FORWARDER_MAX_STREAMS", 64));
    size_t maxPlayersPerStream = size_t(numberFromEnvironment("TAVICAST_FORWARDER_MAX_PLAYERS", 64));
    // For tests and benchmarks only: this share (0 to 1) of the RTP packets sent to each stream's first
    // player is dropped at random.
    double firstPlayerLoss = double(numberFromEnvironment("TAVICAST_FORWARDER_TEST_LOSS_PERCENT", 0)) / 100.0;

    static std::vector<std::string> iceAddressesFromEnvironment();
    // A whole non-negative decimal number from the variable, else `fallback`.
    static long long numberFromEnvironment(const char* variable, long long fallback);
    static std::chrono::milliseconds millisecondsFromEnvironment(const char* variable, long long fallback)
    {
        return std::chrono::milliseconds(numberFromEnvironment(variable, fallback));
    }
};

// The service's WebRTC relay. A publisher's offer gets an answering webrtcbin whose received RTP goes into
// one tee per m-line; each player's offer gets a webrtcbin of its own, fed from those tees through a leaky
// queue with the payload type rewritten to the one that player negotiated. Nothing is decoded. A player's
// key-frame request travels upstream to the publisher, and each new player asks for one when it connects.
// When a publisher leaves (closed, failed, or silent) its players are closed and its id is forgotten.
//
// GStreamer starts with the first offer; a forwarder that never got one costs nothing. Its own thread runs
// the timers and bus watches. All public functions are thread-safe; `publish` and `play` block until the
// answer is complete (at most the gathering time-out).
class MediaForwarder {
public:
    using Options = MediaForwarderOptions;

    explicit MediaForwarder(Options options = Options());
    ~MediaForwarder();
    MediaForwarder(const MediaForwarder&) = delete;
    MediaForwarder& operator=(const MediaForwarder&) = delete;

    ForwarderAnswer publish(const std::string& offerSdp);
    ForwarderAnswer play(long long streamId, const std::string& offerSdp);

    bool holds(long long streamId) const;
    // The ids of the streams it holds, in ascending order.
    std::vector<long long> streams() const;
    size_t playerCount(long long streamId) const;

    // The stream a meeting shows as its main one; 0 when none is held.
    void setMainStream(const std::string& meetingKey, long long streamId);
    long long mainStream(const std::string& meetingKey) const;

    // Ends a stream and its players at once, as if its publisher had left.
    void close(long long streamId);

    // The factory names of every element that carries the stream (inside bins too), for inspection.
    std::vector<std::string> elementFactories(long long streamId) const;

    struct Stream;
    struct Player;

private:
    bool ensureStarted(std::string& error);
    void sweep(); // on the forwarder thread: ends streams whose publisher left, drops closed players
    void removeStream(long long id);

    Options m_options;
    size_t m_publishing = 0; // offers to publish being answered (guarded by m_mutex)
    std::mutex m_startMutex;
    bool m_started = false;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards the maps and the id counter
    std::map<long long, std::shared_ptr<Stream>> m_streams;
    std::map<std::string, long long> m_mainStreams;
    long long m_nextId = 1001;
};

} // namespace devservice
