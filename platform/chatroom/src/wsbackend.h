#pragma once

#include <chatroom/chatroom.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace Json {
class Value;
}

namespace cr {

// One frame of the room as the client reads it, before it is delivered.
struct RoomFrame {
    std::string event; // "self", "peers", "joined", "left", "text", "cmd", "forbidden", "disposed", "error"
    std::string chatId; // of the frame's "peer" (or "from")
    std::string handle;
    std::string peer; // the peer as compact JSON
    std::string peers; // "peers": the list as compact JSON
    std::string device; // "joined": the peer's device, from its "user_data"
    std::string text; // "text": the text; "cmd": the command as a JSON string; "error": the reason
    int64_t time = 0;
    int shutup = 0;
};

// Reads one frame of the room. False for a frame that is to be ignored: not a JSON object, nested too deep,
// without an "event" text, or with a member of the wrong shape (a peer that is no object, a time or a
// silence that is no integer of its range). Never throws.
bool readRoomFrame(std::string_view frame, RoomFrame& out);

// Reads the reply of an administration call on `path` that answered with HTTP status 200: an object with an
// integral "errcode" (0 for success), an optional "errmsg" text and an optional "result" object. Fills
// `result` (an empty object when there is none) and returns true on success; otherwise false with `error`
// naming the call, or the service's message. Never throws.
bool readCallReply(const std::string& path, std::string_view body, Json::Value& result, std::string& error);

// The reply of a join, read from its "result": the member's token and id. False when either is missing, of
// the wrong type or out of range.
bool readJoinResult(const Json::Value& result, ChatRoom::RespJoinRoom& response);

// The chat-room service's own client: administration calls as JSON over HTTPS, the room over a WebSocket
// that this object owns. Lives on the thread that made it; events are delivered there.
class WsBackend final : public Backend {
public:
    explicit WsBackend(UICallback* callback);
    ~WsBackend() override;

    std::string createRoom(const ChatRoom::ReqCreateRoom& request, std::string& error) override;
    bool joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
        ChatRoom::RespJoinRoom& response, std::string& error) override;
    bool wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
        int64_t memberId, const std::string& deviceType, bool reportLoss) override;
    bool sendText(const std::string& text) override;
    bool sendCommand(const std::string& command) override;
    bool kickout(const ChatRoom::ReqKickOut& request, std::string& error) override;
    bool forbiddenWords(const ChatRoom::ReqForbiddenWords& request, std::string& error) override;
    bool disposeRoom(const std::string& roomId, const std::string& password, const std::string& token,
        std::string& error) override;

    // State shared with the socket's handlers; outlives this object while a callback is running.
    struct Link;

private:
    bool send(const Json::Value& message);

    std::shared_ptr<Link> m_link;
    std::map<std::string, std::string> m_ownerKeys; // room id → owner key, for rooms made here
    std::string m_token; // this member's join credential, sent with its administration calls
};

} // namespace cr
