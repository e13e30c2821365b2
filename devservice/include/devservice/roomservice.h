#pragma once

#include <devservice/routes.h>

#include <json/value.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devservice {

struct RoomServiceOptions {
    int pusher = 4; // co-broadcast seats of every meeting
    long long duration = 2 * 60 * 60; // seconds a meeting may run
    int viewer = 100; // chat-room members beside the host
    // Where the service reports what it did (create, register, delete); unset: nothing is reported.
    std::function<void(const std::string& line)> log;
};

// The room service's refusals.
namespace room {
    inline constexpr int kBadRequest = 4201; // a member missing or of the wrong type
    inline constexpr int kKeyTaken = 4202;
    inline constexpr int kNoSuchMeeting = 4204;
    inline constexpr int kNotStarted = 4205; // joined before the main stream was registered
    inline constexpr int kWrongPassword = 4206;
    inline constexpr int kNotCreator = 4203; // only the creator registers the main stream and deletes
    inline constexpr char kOpenPassword[] = "580917"; // a meeting made with it admits any password
    inline constexpr long long kMaxStreamId = 2147483647;
} // namespace room

// The live meetings the room service holds, created, joined, given streams and deleted by the client's
// room requests. Thread-safe: the service's threads answer requests at the same time.
class RoomService {
public:
    struct Streamer {
        long long streamId = 0;
        bool main = false;
        std::string title;
    };
    struct Meeting {
        std::string key;
        std::string password;
        std::string title;
        std::string creatorToken;
        std::string roomId; // of the chat room, from the main stream's registration
        std::string roomPwd;
        std::vector<Streamer> streamers;
        bool started() const;
    };

    explicit RoomService(RoomServiceOptions options = RoomServiceOptions());

    ScriptedReply create(const RecordedRequest& request);
    ScriptedReply join(const RecordedRequest& request);
    ScriptedReply addStreamer(const RecordedRequest& request);
    ScriptedReply remove(const RecordedRequest& request);
    // Every meeting as JSON (passwords left out): {"meetings": [{"meetting_key", "title", "room_id",
    // "streamers"}]}.
    Json::Value state() const;
    // One meeting as the state pages show it, its password left out.
    static Json::Value stateOf(const Meeting& meeting);

    std::vector<Meeting> meetings() const;
    const RoomServiceOptions& options() const { return m_options; }

private:
    Json::Value meetingJson(const RecordedRequest& request, const Meeting& meeting, bool forViewer) const;
    void report(const std::string& line) const;

    RoomServiceOptions m_options;
    mutable std::mutex m_mutex;
    std::map<std::string, Meeting> m_meetings;
};

// Serves the room service's paths (at the root and under the command-API base) from one RoomService, with
// its state at "/room/state". Replaces the table's earlier answers for those paths; returns the service so
// that a test can look inside.
std::shared_ptr<RoomService> addRoomServiceRoutes(
    RouteTable& routes, RoomServiceOptions options = RoomServiceOptions());

} // namespace devservice
