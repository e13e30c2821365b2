#pragma once

#include <chatroom/chatroom.h>

#include <map>
#include <memory>

namespace Json {
class Value;
}

namespace cr {

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
