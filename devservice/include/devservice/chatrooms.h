#pragma once

#include <devservice/routes.h>

#include <json/value.h>

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace devservice {

struct HttpRequest;

// What one room holds, for tests. A disposed room is gone.
struct ChatRoomSnapshot {
    struct Member {
        long long memberId = 0;
        std::string chatId;
        std::string handle;
        bool owner = false;
        int shutup = 0;
        bool connected = false;
        std::string device; // as its connection named it
    };
    std::string roomId;
    std::string name;
    std::vector<Member> members; // in member id order
    std::vector<long long> kickedOut; // member ids the operator removed, in order
};

// The answer of an administration call: {"errcode", "errmsg", "result"}.
struct ChatReply {
    int errcode = 0;
    std::string errmsg;
    Json::Value result;
};

// The chat rooms of the service. Administration calls (the rooms' own and the operator's) may come from any
// thread; the rooms' WebSocket connections live in the thread of this object, which must run an event loop.
// Room state is guarded by one lock; what an administration call does to connections is queued to that
// thread in order.
//
// Roles: the member who joins with the room's owner key (handed to its creator) is the owner. Disposing,
// silencing and removing another member are the owner's; any member may remove itself. Every call needs the
// room's password; the members' calls also their join token. Passwords, tokens and owner keys appear in no
// reply text and no log.
class ChatRoomService : public QObject {
    Q_OBJECT
public:
    explicit ChatRoomService(QObject* parent = nullptr);
    ~ChatRoomService() override;

    // action: "create", "join", "kickout", "forbid" or "dispose".
    ChatReply roomCall(const std::string& action, const Json::Value& body);
    // The operator's calls: "kickout", "list", "cancel"; room id and password are enough.
    ChatReply operatorCall(const std::string& action, const Json::Value& body);

    // Takes over a socket whose request asks for a WebSocket upgrade, with everything it received unread.
    // A request that names no room or member of one is answered 403 and closed. Any thread.
    void takeConnection(QTcpSocket* socket, const HttpRequest& request);

    std::vector<ChatRoomSnapshot> snapshot() const;

    // A member's frame as the room reads it: a text or a command to relay, or why it is refused. A frame
    // must be a JSON object with a "type" of "text" (its "text" a string) or "cmd" (its "command" a string).
    struct Frame {
        enum Kind { Refused, Text, Command } kind = Refused;
        std::string content; // the text or the command
        std::string refusal; // why it is refused
    };
    static Frame readFrame(const std::string& frame);

    static constexpr size_t kMaxTextBytes = 8192;
    static constexpr size_t kMaxCommandBytes = 16 * 1024;
    static constexpr quint64 kMaxFrameBytes = 64 * 1024;

    // Error codes of the replies.
    static constexpr int kBadRequest = 4000;
    static constexpr int kWrongPassword = 4001;
    static constexpr int kNotAllowed = 4003;
    static constexpr int kNoSuchRoom = 4004;
    static constexpr int kNoSuchMember = 4005;
    static constexpr int kRoomFull = 4009;

private:
    struct Member;
    struct Room;

    void accept(QTcpSocket* socket);
    void onNewConnection();
    void onFrame(QWebSocket* socket, const QString& frame);
    void onClosed(QWebSocket* socket);
    // Queued to this object's thread (or run at once when already there), in order.
    void later(std::function<void()> task);
    // Closes the member's connection, if any; the others are told it left. This object's thread.
    void closeMember(const std::string& roomId, long long memberId);

    ChatReply create(const Json::Value& body);
    ChatReply join(const Json::Value& body);
    ChatReply kickout(const Json::Value& body, bool byOperator);
    ChatReply forbid(const Json::Value& body);
    ChatReply dispose(const Json::Value& body);
    // Handles what the room's members sent before its dispose, then removes it. This object's thread.
    void finishDispose(const std::string& roomId);
    // Handles the frames that have reached the member's connection and are not yet read. This object's
    // thread, without m_mutex (the frames' handlers take it).
    void readPending(QWebSocket* socket);
    ChatReply listKicked(const Json::Value& body);
    ChatReply cancelKick(const Json::Value& body);

    // Under m_mutex.
    Room* roomFor(const Json::Value& body, ChatReply& failure);
    Member* caller(Room& room, const Json::Value& body, ChatReply& failure);
    Member* target(Room& room, const Json::Value& body, ChatReply& failure);
    void sendTo(const Member& member, const Json::Value& event);
    void sendToRoom(const Room& room, const Json::Value& event, long long except = 0);

    QWebSocketServer* m_server;
    mutable std::mutex m_mutex; // guards everything below
    std::map<std::string, Room> m_rooms;
    std::map<QWebSocket*, std::pair<std::string, long long>> m_sockets; // → room id, member id
    // This object's thread only: connections handed to the WebSocket server until their upgrade is done
    // (matched by the peer's address and port), then each member connection's transport.
    std::vector<QPointer<QTcpSocket>> m_upgrading;
    std::map<QWebSocket*, QPointer<QTcpSocket>> m_transports;
    long long m_nextMemberId = 1;
    long long m_nextRoomId = 100001;
};

// The rooms' own administration paths, "/chat/room/<action>" under the chat host: plain JSON, unsigned.
// They act on the rooms of the service that received the request.
void addChatRoomRoutes(RouteTable& routes);

} // namespace devservice
