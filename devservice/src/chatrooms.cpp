#include <devservice/chatrooms.h>

#include <devservice/httpserver.h>
#include <devservice/jsonfields.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

#include <json/writer.h>

#include <algorithm>

namespace devservice {

namespace {

    std::string compact(const Json::Value& value)
    {
        Json::FastWriter writer;
        writer.omitEndingLineFeed();
        return writer.write(value);
    }

    std::string randomHex(int bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (int i = 0; i < bytes; ++i) {
            const quint32 byte = QRandomGenerator::system()->bounded(256u);
            out += digits[byte >> 4];
            out += digits[byte & 15];
        }
        return out;
    }

    std::string text(const Json::Value& body, const char* member)
    {
        return jsonfields::stringOf(body, member).value_or(std::string());
    }

    // An integer member: 0 when absent; std::nullopt when it is there but no integer of the 64-bit range.
    std::optional<long long> integer(const Json::Value& body, const char* member)
    {
        const Json::Value& value = jsonfields::member(body, member);
        if (value.isNull())
            return 0;
        return jsonfields::toInt64(value);
    }

    long long nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

    ChatReply failure(int code, std::string message) { return { code, std::move(message), Json::Value() }; }

    ChatReply notAnInteger(const char* member)
    {
        return failure(ChatRoomService::kBadRequest, std::string("\"") + member + "\" is not an integer");
    }

    ChatReply success(Json::Value result = Json::Value(Json::objectValue))
    {
        return { 0, std::string(), std::move(result) };
    }

    Json::Value roomEvent(const char* name)
    {
        Json::Value value(Json::objectValue);
        value["event"] = name;
        return value;
    }

    // Runs the handling of one frame; whatever escapes it is that frame's failure, never the service's end.
    template <typename Handle> void guarded(Handle&& handle) noexcept
    {
        try {
            handle();
        } catch (const std::exception& e) {
            qWarning("devservice: a chat frame could not be handled: %s", e.what());
        } catch (...) {
            qWarning("devservice: a chat frame could not be handled");
        }
    }

    void refuseUpgrade(QTcpSocket* socket, const std::string& reason)
    {
        const std::string reply = "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: "
            + std::to_string(reason.size()) + "\r\nConnection: close\r\n\r\n" + reason;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(reply.data(), qint64(reply.size()));
        socket->disconnectFromHost();
    }

} // namespace

struct ChatRoomService::Member {
    long long id = 0;
    std::string chatId;
    std::string token;
    std::string handle;
    std::string device;
    bool owner = false;
    int shutup = 0;
    int silence = 0; // counts silences, so a timed lift knows whether it is still the current one
    QWebSocket* socket = nullptr; // this object's thread only

    Json::Value peer() const
    {
        Json::Value userData(Json::objectValue);
        userData["deviceType"] = device;
        userData["nickname"] = handle;
        Json::Value value(Json::objectValue);
        value["user_id"] = Json::Int64(id);
        value["id"] = chatId;
        value["handle"] = handle;
        value["shutup"] = shutup;
        value["user_data"] = compact(userData);
        return value;
    }
};

struct ChatRoomService::Room {
    struct Kicked {
        long long memberId;
        std::string chatId;
        std::string handle;
        int kickType;
        long long timeMs;
    };
    std::string id;
    std::string name;
    std::string role;
    std::string password;
    std::string ownerKey; // emptied once the owner has joined
    bool disposing = false; // disposed of; goes once what its members sent before is handled
    int maxMembers = 0;
    std::map<long long, Member> members;
    std::vector<Kicked> kicked;
};

ChatRoomService::ChatRoomService(QObject* parent)
    : QObject(parent)
    , m_server(new QWebSocketServer("tavicast-devservice", QWebSocketServer::NonSecureMode, this))
{
    connect(m_server, &QWebSocketServer::newConnection, this, &ChatRoomService::onNewConnection);
}

ChatRoomService::~ChatRoomService()
{
    // The sockets go with this object; their last signals must not reach a half-destroyed service.
    for (const auto& [socket, where] : m_sockets)
        disconnect(socket, nullptr, this, nullptr);
}

void ChatRoomService::later(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// Administration

ChatReply ChatRoomService::roomCall(const std::string& action, const Json::Value& body)
{
    if (!body.isObject())
        return failure(kBadRequest, "the body is not a JSON object");
    if (action == "create")
        return create(body);
    if (action == "join")
        return join(body);
    if (action == "kickout")
        return kickout(body, false);
    if (action == "forbid")
        return forbid(body);
    if (action == "dispose")
        return dispose(body);
    return failure(kBadRequest, "no such call: " + action);
}

ChatReply ChatRoomService::operatorCall(const std::string& action, const Json::Value& body)
{
    if (!body.isObject())
        return failure(kBadRequest, "the body is not a JSON object");
    if (action == "kickout")
        return kickout(body, true);
    if (action == "list")
        return listKicked(body);
    if (action == "cancel")
        return cancelKick(body);
    return failure(kBadRequest, "no such call: " + action);
}

ChatRoomService::Room* ChatRoomService::roomFor(const Json::Value& body, ChatReply& failed)
{
    const std::string id = text(body, "room_id");
    const auto room = m_rooms.find(id);
    if (id.empty() || room == m_rooms.end() || room->second.disposing) {
        failed = failure(kNoSuchRoom, "no such room: \"" + id + "\"");
        return nullptr;
    }
    if (text(body, "password") != room->second.password) {
        failed = failure(kWrongPassword, "wrong room password");
        return nullptr;
    }
    return &room->second;
}

ChatRoomService::Member* ChatRoomService::caller(Room& room, const Json::Value& body, ChatReply& failed)
{
    const std::string token = text(body, "token");
    for (auto& [id, member] : room.members) {
        if (!token.empty() && member.token == token)
            return &member;
    }
    failed = failure(kNotAllowed, "the caller is not a member of this room");
    return nullptr;
}

ChatRoomService::Member* ChatRoomService::target(Room& room, const Json::Value& body, ChatReply& failed)
{
    const std::optional<long long> readId = integer(body, "user_id");
    if (!readId) {
        failed = notAnInteger("user_id");
        return nullptr;
    }
    const long long memberId = *readId;
    const std::string chatId = text(body, "chat_id");
    if (memberId > 0) {
        const auto found = room.members.find(memberId);
        if (found != room.members.end())
            return &found->second;
    } else if (!chatId.empty()) {
        for (auto& [id, member] : room.members) {
            if (member.chatId == chatId)
                return &member;
        }
    }
    failed = failure(kNoSuchMember,
        "no member " + (memberId > 0 ? std::to_string(memberId) : "\"" + chatId + "\"") + " in this room");
    return nullptr;
}

ChatReply ChatRoomService::create(const Json::Value& body)
{
    const std::string password = text(body, "password");
    if (password.empty())
        return failure(kBadRequest, "a room needs a password");
    const std::optional<long long> maxMembers = integer(body, "max_members");
    if (!maxMembers || *maxMembers < 0 || *maxMembers > 100000)
        return failure(kBadRequest, "max_members out of range");

    std::lock_guard<std::mutex> lock(m_mutex);
    Room room;
    room.id = std::to_string(m_nextRoomId++);
    room.name = text(body, "name");
    room.role = text(body, "role");
    room.password = password;
    room.ownerKey = randomHex(16);
    room.maxMembers = int(*maxMembers);
    Json::Value result(Json::objectValue);
    result["room_id"] = room.id;
    result["owner_key"] = room.ownerKey;
    m_rooms[room.id] = std::move(room);
    return success(result);
}

ChatReply ChatRoomService::join(const Json::Value& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ChatReply failed;
    Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    const std::string ownerKey = text(body, "owner_key");
    const bool owner = !ownerKey.empty() && ownerKey == room->ownerKey;
    if (!ownerKey.empty() && !owner)
        return failure(kNotAllowed, "wrong owner key");
    if (!owner && room->maxMembers > 0) {
        int guests = 0;
        for (const auto& [id, member] : room->members)
            guests += member.owner ? 0 : 1;
        if (guests >= room->maxMembers)
            return failure(kRoomFull, "the room is full");
    }
    Member member;
    member.id = m_nextMemberId++;
    member.chatId = randomHex(8);
    member.token = randomHex(16);
    member.owner = owner;
    if (owner)
        room->ownerKey.clear();
    Json::Value result(Json::objectValue);
    result["token"] = member.token;
    result["user_id"] = Json::Int64(member.id);
    result["chat_id"] = member.chatId;
    room->members[member.id] = std::move(member);
    return success(result);
}

ChatReply ChatRoomService::kickout(const Json::Value& body, bool byOperator)
{
    const Json::Value& kickTypeMember = jsonfields::member(body, "kick_type");
    const std::optional<int> kickType = jsonfields::toInt(kickTypeMember);
    if (!kickTypeMember.isNull() && !kickType)
        return notAnInteger("kick_type");
    std::unique_lock<std::mutex> lock(m_mutex);
    ChatReply failed;
    Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    const Member* by = byOperator ? nullptr : caller(*room, body, failed);
    if (!byOperator && !by)
        return failed;
    const Member* gone = target(*room, body, failed);
    if (!gone)
        return failed;
    if (by && gone != by && !by->owner)
        return failure(kNotAllowed, "only the room's owner may remove another member");

    if (byOperator) {
        room->kicked.push_back({ gone->id, gone->chatId, gone->handle, kickType.value_or(0), nowMs() });
    }
    QPointer<QWebSocket> socket = gone->socket;
    const Json::Value peer = gone->peer();
    const std::string roomId = room->id;
    if (socket)
        m_sockets[socket.data()] = { roomId, 0 }; // detached: its closing tells nobody
    room->members.erase(gone->id);
    lock.unlock();

    if (socket) {
        later([this, socket, roomId, peer] {
            if (socket) {
                socket->close(QWebSocketProtocol::CloseCodeNormal, "removed from the room");
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto room = m_rooms.find(roomId);
            if (room == m_rooms.end())
                return;
            Json::Value left = roomEvent("left");
            left["peer"] = peer;
            sendToRoom(room->second, left);
        });
    }
    return success();
}

ChatReply ChatRoomService::forbid(const Json::Value& body)
{
    const std::optional<bool> flag = jsonfields::boolOf(body, "forbid");
    const std::optional<long long> forbidNumber = flag ? std::optional<long long>(0) : integer(body, "forbid");
    if (!forbidNumber)
        return notAnInteger("forbid");
    const bool silence = flag ? *flag : *forbidNumber != 0;
    const std::optional<long long> readSeconds = integer(body, "seconds");
    if (!readSeconds)
        return notAnInteger("seconds");
    const long long seconds = silence ? *readSeconds : 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    ChatReply failed;
    Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    const Member* by = caller(*room, body, failed);
    if (!by)
        return failed;
    if (!by->owner)
        return failure(kNotAllowed, "only the room's owner may silence members");
    Member* member = target(*room, body, failed);
    if (!member)
        return failed;
    member->shutup = silence ? 1 : 0;
    const int generation = ++member->silence;
    const std::string roomId = room->id;
    const long long memberId = member->id;
    lock.unlock();

    later([this, roomId, memberId, silence, seconds, generation] {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto room = m_rooms.find(roomId);
        if (room == m_rooms.end())
            return;
        const auto member = room->second.members.find(memberId);
        if (member == room->second.members.end())
            return;
        Json::Value changed = roomEvent("forbidden");
        changed["shutup"] = silence ? 1 : 0;
        sendTo(member->second, changed);
        if (seconds <= 0)
            return;
        QTimer::singleShot(
            int(std::min<long long>(seconds, 24 * 3600) * 1000), this, [this, roomId, memberId, generation] {
                std::lock_guard<std::mutex> lock(m_mutex);
                const auto room = m_rooms.find(roomId);
                if (room == m_rooms.end())
                    return;
                const auto member = room->second.members.find(memberId);
                if (member == room->second.members.end() || member->second.silence != generation)
                    return;
                member->second.shutup = 0;
                Json::Value lifted = roomEvent("forbidden");
                lifted["shutup"] = 0;
                sendTo(member->second, lifted);
            });
    });
    return success();
}

ChatReply ChatRoomService::dispose(const Json::Value& body)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ChatReply failed;
    Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    const Member* by = caller(*room, body, failed);
    if (!by)
        return failed;
    if (!by->owner)
        return failure(kNotAllowed, "only the room's owner may dispose of it");
    // The owner's last frames (a meeting's "stream_end") can still be unread on its connection: the room
    // stands, closed to calls and new connections, until the rooms' thread has handled them.
    room->disposing = true;
    const std::string roomId = room->id;
    lock.unlock();
    later([this, roomId] { finishDispose(roomId); });
    return success();
}

void ChatRoomService::finishDispose(const std::string& roomId)
{
    std::vector<QPointer<QWebSocket>> sockets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto room = m_rooms.find(roomId);
        if (room == m_rooms.end())
            return;
        for (const auto& [id, member] : room->second.members) {
            if (member.socket)
                sockets.emplace_back(member.socket);
        }
    }
    for (const QPointer<QWebSocket>& socket : sockets) {
        if (socket)
            readPending(socket);
    }
    sockets.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto room = m_rooms.find(roomId);
        if (room == m_rooms.end())
            return;
        for (const auto& [id, member] : room->second.members) {
            if (member.socket) {
                sockets.emplace_back(member.socket);
                m_sockets[member.socket] = { roomId, 0 };
            }
        }
        m_rooms.erase(room);
    }
    const QString disposed = QString::fromStdString(compact(roomEvent("disposed")));
    for (const QPointer<QWebSocket>& socket : sockets) {
        if (!socket)
            continue;
        socket->sendTextMessage(disposed);
        socket->close(QWebSocketProtocol::CloseCodeNormal, "the room was disposed of");
    }
}

void ChatRoomService::readPending(QWebSocket* socket)
{
    const auto transport = m_transports.find(socket);
    QTcpSocket* connection = transport != m_transports.end() ? transport->second.data() : nullptr;
    if (connection)
        connection->waitForReadyRead(0);
    // The WebSocket turns what its connection read into frames in a queued call: run it now.
    QCoreApplication::sendPostedEvents(socket, QEvent::MetaCall);
}

ChatReply ChatRoomService::listKicked(const Json::Value& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ChatReply failed;
    const Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    Json::Value list(Json::arrayValue);
    for (const Room::Kicked& kicked : room->kicked) {
        Json::Value entry(Json::objectValue);
        entry["user_id"] = Json::Int64(kicked.memberId);
        entry["chat_id"] = kicked.chatId;
        entry["handle"] = kicked.handle;
        entry["kick_type"] = kicked.kickType;
        entry["time"] = Json::Int64(kicked.timeMs);
        list.append(entry);
    }
    Json::Value result(Json::objectValue);
    result["list"] = list;
    return success(result);
}

ChatReply ChatRoomService::cancelKick(const Json::Value& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ChatReply failed;
    Room* room = roomFor(body, failed);
    if (!room)
        return failed;
    const std::optional<long long> readId = integer(body, "user_id");
    if (!readId)
        return notAnInteger("user_id");
    const long long memberId = *readId;
    auto& kicked = room->kicked;
    const auto end = std::remove_if(
        kicked.begin(), kicked.end(), [memberId](const Room::Kicked& k) { return k.memberId == memberId; });
    if (end == kicked.end())
        return failure(
            kNoSuchMember, "member " + std::to_string(memberId) + " was not removed from this room");
    kicked.erase(end, kicked.end());
    return success();
}

// Connections

void ChatRoomService::takeConnection(QTcpSocket* socket, const HttpRequest& request)
{
    const QUrlQuery query(QString::fromStdString(request.query));
    const std::string roomId = query.queryItemValue("room", QUrl::FullyDecoded).toStdString();
    const std::string token = query.queryItemValue("token", QUrl::FullyDecoded).toStdString();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto room = m_rooms.find(roomId);
        const Member* member = nullptr;
        if (room != m_rooms.end() && !room->second.disposing) {
            for (const auto& [id, candidate] : room->second.members) {
                if (!token.empty() && candidate.token == token)
                    member = &candidate;
            }
        }
        if (!member || member->socket) {
            refuseUpgrade(socket, member ? "already connected" : "no such room or member");
            return;
        }
    }
    if (socket->thread() != thread()) {
        socket->setParent(nullptr);
        socket->moveToThread(thread());
        later([this, socket] { accept(socket); });
    } else {
        accept(socket);
    }
}

void ChatRoomService::accept(QTcpSocket* socket)
{
    socket->setParent(this);
    m_upgrading.erase(std::remove_if(m_upgrading.begin(), m_upgrading.end(),
                          [](const QPointer<QTcpSocket>& pending) {
                              return !pending || pending->state() != QAbstractSocket::ConnectedState;
                          }),
        m_upgrading.end());
    m_upgrading.emplace_back(socket);
    m_server->handleConnection(socket);
    // The request is already in the socket's buffer: no further readyRead would start the handshake.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(socket, "readyRead", Qt::QueuedConnection);
}

void ChatRoomService::onNewConnection()
{
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(kMaxFrameBytes);
        socket->setMaxAllowedIncomingMessageSize(kMaxFrameBytes);
        const auto transport = std::find_if(m_upgrading.begin(), m_upgrading.end(),
            [socket](const QPointer<QTcpSocket>& pending) {
                return pending && pending->peerPort() == socket->peerPort()
                    && pending->peerAddress() == socket->peerAddress();
            });
        if (transport != m_upgrading.end()) {
            m_transports[socket] = *transport;
            m_upgrading.erase(transport);
        }
        const QUrlQuery query(socket->requestUrl());
        const std::string roomId = query.queryItemValue("room", QUrl::FullyDecoded).toStdString();
        const std::string token = query.queryItemValue("token", QUrl::FullyDecoded).toStdString();

        std::lock_guard<std::mutex> lock(m_mutex);
        const auto room = m_rooms.find(roomId);
        Member* member = nullptr;
        if (room != m_rooms.end() && !room->second.disposing) {
            for (auto& [id, candidate] : room->second.members) {
                if (!token.empty() && candidate.token == token)
                    member = &candidate;
            }
        }
        if (!member || member->socket) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                member ? "already connected" : "no such room or member");
            m_transports.erase(socket);
            socket->deleteLater();
            continue;
        }
        member->socket = socket;
        member->handle = query.queryItemValue("name", QUrl::FullyDecoded).toStdString();
        member->device = query.queryItemValue("device", QUrl::FullyDecoded).toStdString();
        m_sockets[socket] = { roomId, member->id };
        connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString& frame) { guarded([&] { onFrame(socket, frame); }); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this, socket](const QByteArray&) { guarded([&] { onFrame(socket, QString()); }); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { onClosed(socket); });

        Json::Value self = roomEvent("self");
        self["peer"] = member->peer();
        sendTo(*member, self);
        Json::Value peers = roomEvent("peers");
        peers["peers"] = Json::Value(Json::arrayValue);
        for (const auto& [id, present] : room->second.members) {
            if (present.socket)
                peers["peers"].append(present.peer());
        }
        sendTo(*member, peers);
        Json::Value joined = roomEvent("joined");
        joined["peer"] = member->peer();
        sendToRoom(room->second, joined, member->id);
    }
}

void ChatRoomService::onFrame(QWebSocket* socket, const QString& frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto where = m_sockets.find(socket);
    if (where == m_sockets.end())
        return;
    const auto room = m_rooms.find(where->second.first);
    if (room == m_rooms.end())
        return;
    const auto sender = room->second.members.find(where->second.second);
    if (sender == room->second.members.end())
        return;
    const Member& from = sender->second;
    const auto refuse = [&](const std::string& reason) {
        Json::Value error = roomEvent("error");
        error["message"] = reason;
        sendTo(from, error);
    };

    const Frame read = readFrame(frame.toStdString());
    if (read.kind == Frame::Refused)
        return refuse(read.refusal);
    if (read.kind == Frame::Text) {
        if (from.shutup)
            return refuse("you are silenced");
        Json::Value out = roomEvent("text");
        out["from"] = from.peer();
        out["text"] = read.content;
        out["time"] = Json::Int64(nowMs());
        sendToRoom(room->second, out);
    } else {
        Json::Value out = roomEvent("cmd");
        out["from"] = from.peer();
        out["command"] = read.content;
        out["time"] = Json::Int64(nowMs());
        sendToRoom(room->second, out, from.id);
    }
}

ChatRoomService::Frame ChatRoomService::readFrame(const std::string& frame)
{
    Frame read;
    Json::Value message;
    const std::optional<std::string> type
        = jsonfields::parse(frame, message) ? jsonfields::stringOf(message, "type") : std::nullopt;
    if (!type) {
        read.refusal = "a frame must be a JSON object with a \"type\"";
    } else if (*type == "text") {
        const std::optional<std::string> text = jsonfields::stringOf(message, "text");
        if (!text)
            read.refusal = "a text frame must hold its \"text\" as a string";
        else if (text->size() > kMaxTextBytes)
            read.refusal = "a text may hold at most " + std::to_string(kMaxTextBytes) + " bytes";
        else
            read = { Frame::Text, *text, std::string() };
    } else if (*type == "cmd") {
        const std::optional<std::string> command = jsonfields::stringOf(message, "command");
        if (!command)
            read.refusal = "a command frame must hold its \"command\" as a string";
        else if (command->size() > kMaxCommandBytes)
            read.refusal = "a command may hold at most " + std::to_string(kMaxCommandBytes) + " bytes";
        else
            read = { Frame::Command, *command, std::string() };
    } else {
        read.refusal = "unknown frame type \"" + *type + "\"";
    }
    return read;
}

void ChatRoomService::onClosed(QWebSocket* socket)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto where = m_sockets.find(socket);
    if (where != m_sockets.end()) {
        const auto room = m_rooms.find(where->second.first);
        if (room != m_rooms.end()) {
            const auto member = room->second.members.find(where->second.second);
            if (member != room->second.members.end() && member->second.socket == socket) {
                member->second.socket = nullptr;
                Json::Value left = roomEvent("left");
                left["peer"] = member->second.peer();
                sendToRoom(room->second, left);
            }
        }
        m_sockets.erase(where);
    }
    lock.unlock();
    m_transports.erase(socket);
    socket->deleteLater();
}

void ChatRoomService::sendTo(const Member& member, const Json::Value& message)
{
    if (member.socket)
        member.socket->sendTextMessage(QString::fromStdString(compact(message)));
}

void ChatRoomService::sendToRoom(const Room& room, const Json::Value& message, long long except)
{
    const QString frame = QString::fromStdString(compact(message));
    for (const auto& [id, member] : room.members) {
        if (id != except && member.socket)
            member.socket->sendTextMessage(frame);
    }
}

std::vector<ChatRoomSnapshot> ChatRoomService::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<ChatRoomSnapshot> out;
    for (const auto& [id, room] : m_rooms) {
        if (room.disposing)
            continue; // gone for every caller already
        ChatRoomSnapshot copy;
        copy.roomId = room.id;
        copy.name = room.name;
        for (const auto& [memberId, member] : room.members)
            copy.members.push_back({ member.id, member.chatId, member.handle, member.owner, member.shutup,
                member.socket != nullptr, member.device });
        for (const Room::Kicked& kicked : room.kicked)
            copy.kickedOut.push_back(kicked.memberId);
        out.push_back(std::move(copy));
    }
    return out;
}

void addChatRoomRoutes(RouteTable& routes)
{
    for (const char* action : { "create", "join", "kickout", "forbid", "dispose" }) {
        Route route;
        route.signedBody = false;
        route.handler = [action = std::string(action)](const RecordedRequest& request) {
            if (!request.chatRooms)
                return ScriptedReply::failure(
                    ChatRoomService::kNoSuchRoom, "this service holds no chat rooms");
            const ChatReply reply = request.chatRooms->roomCall(action, request.members);
            ScriptedReply scripted = ScriptedReply::failure(reply.errcode, reply.errmsg);
            scripted.result = reply.result;
            return scripted;
        };
        routes[std::string("/chat/room/") + action] = std::move(route);
    }
}

} // namespace devservice

