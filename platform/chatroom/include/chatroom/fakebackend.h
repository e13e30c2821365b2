#pragma once

#include <chatroom/chatroom.h>

#include <functional>
#include <string>
#include <vector>

namespace cr {

// A stand-in chat-room service for tests of the forms that use `ChatRoom`. While one exists, every
// `ChatRoom` made records its calls here instead of reaching a service, and the test fires callbacks at the
// newest room still alive. Single-threaded: the test's thread only. Destroying it restores the real client.
class FakeChatService {
public:
    struct Call {
        std::string name; // the operation, e.g. "joinRoom"
        std::vector<std::string> args; // its arguments as texts, in order
    };

    FakeChatService();
    ~FakeChatService();
    FakeChatService(const FakeChatService&) = delete;
    FakeChatService& operator=(const FakeChatService&) = delete;

    // What the calls answer.
    std::string roomId = "1001";
    ChatRoom::RespJoinRoom join { "fake-token", 1 };
    bool succeed = true; // false: every call fails with `failure`
    std::string failure = "refused by the fake service";

    const std::vector<Call>& calls() const { return m_calls; }
    std::vector<Call> callsNamed(const std::string& name) const;
    void clearCalls() { m_calls.clear(); }

    int liveRooms() const { return int(m_rooms.size()); }
    // Calls `slot` with the newest live room's callback; returns false when there is none. The room may be
    // deleted inside.
    bool fire(const std::function<void(UICallback&)>& slot);

private:
    class Room;
    std::vector<Call> m_calls;
    std::vector<Room*> m_rooms; // alive, oldest first
};

} // namespace cr
