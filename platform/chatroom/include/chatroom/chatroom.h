#pragma once

#include <chatroom/uicallback.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cr {

class Backend;

// Where the chat-room service is: the base of its administration calls and the WebSocket address of its
// rooms. The program supplies them; the library reads no setting of its own.
struct Endpoints {
    std::string host; // e.g. "https://chat.example.com"
    std::string wss; // e.g. "wss://chat.example.com/chat"
};

// Asked at every call. Thread-safe to install; install before rooms are made.
void setEndpointProvider(std::function<Endpoints()> provider);
Endpoints endpoints();

// One client of one chat room. Administration calls are synchronous (bounded to 5 s) and report failure by
// result and an error text; the room itself is a WebSocket connection whose events reach the `UICallback`
// on the thread that made this object, which is the only thread that may use it. The object owns its
// connection; deleting it closes the connection and delivers nothing further.
//
// TLS verification is always on; beside the system's certificates, the PEM file named by TAVICAST_CA_FILE
// is trusted.
class ChatRoom {
public:
    struct ReqCreateRoom {
        std::string name;
        std::string role;
        std::string password;
        int maxMembers = 0; // members beside the owner; 0: no limit
    };

    struct RespJoinRoom {
        std::string token; // this member's credential for the connection and the administration calls
        int64_t memberId = 0;
    };

    // Removes a member: `memberId` when positive, else the member with `chatId`. Only the room's owner may
    // remove another member; anyone may remove itself.
    struct ReqKickOut {
        std::string roomId;
        std::string password;
        std::string chatId;
        int64_t memberId = 0;
        int kickType = 1;
    };

    // Silences a member (`forbid` true) or lets it speak again; owner only. The member is `memberId` when
    // positive, else the one with `chatId`. `seconds`: how long a silence lasts, 0 until lifted.
    struct ReqForbiddenWords {
        std::string roomId;
        std::string password;
        std::string chatId;
        int64_t memberId = 0;
        bool forbid = false;
        int seconds = 0;
    };

    explicit ChatRoom(UICallback* callback);
    ~ChatRoom();
    ChatRoom(const ChatRoom&) = delete;
    ChatRoom& operator=(const ChatRoom&) = delete;

    // Returns the new room's id, empty on failure. The room remembers that it made the room, so that its
    // join makes it the owner.
    std::string createRoom(const ReqCreateRoom& request, std::string& error);
    bool joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
        RespJoinRoom& response, std::string& error);
    // Opens the room's connection; the outcome arrives as `onConnected` or `onDisconnected`. `deviceType`
    // empty means "PC". With `reportLoss` false a closed connection is not reported.
    bool wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
        int64_t memberId, const std::string& deviceType, bool reportLoss);
    // Both return false when the connection is not open or the text is over the room's limit.
    bool sendText(const std::string& text);
    bool sendCommand(const std::string& command);
    bool kickout(const ReqKickOut& request, std::string& error);
    bool forbiddenWords(const ReqForbiddenWords& request, std::string& error);
    bool disposeRoom(
        const std::string& roomId, const std::string& password, const std::string& token, std::string& error);

    static constexpr size_t kMaxTextBytes = 8192;
    static constexpr size_t kMaxCommandBytes = 16 * 1024;

private:
    std::unique_ptr<Backend> m_backend;
};

// How a `ChatRoom` reaches its service. The default speaks to the chat-room service; tests install a
// factory of their own (see chatroom/fakebackend.h). Install it before rooms are made; nullptr restores the
// default.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string createRoom(const ChatRoom::ReqCreateRoom& request, std::string& error) = 0;
    virtual bool joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
        ChatRoom::RespJoinRoom& response, std::string& error)
        = 0;
    virtual bool wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
        int64_t memberId, const std::string& deviceType, bool reportLoss)
        = 0;
    virtual bool sendText(const std::string& text) = 0;
    virtual bool sendCommand(const std::string& command) = 0;
    virtual bool kickout(const ChatRoom::ReqKickOut& request, std::string& error) = 0;
    virtual bool forbiddenWords(const ChatRoom::ReqForbiddenWords& request, std::string& error) = 0;
    virtual bool disposeRoom(
        const std::string& roomId, const std::string& password, const std::string& token, std::string& error)
        = 0;
};

using BackendFactory = std::function<std::unique_ptr<Backend>(UICallback* callback)>;
void setBackendFactory(BackendFactory factory);

// The JSON string literal of `text` as the room hands commands over: in double quotes, with quotes,
// backslashes and control characters escaped; other UTF-8 stays as it is.
std::string quoted(const std::string& text);

} // namespace cr
