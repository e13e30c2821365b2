#include "wsbackend.h"

#include <korvex/zovnet.h>

#include <QAbstractSocket>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <jsonread/jsonread.h>

#include <json/writer.h>

#include <cstdlib>
#include <optional>

namespace cr {

namespace {

    constexpr long kCallTimeoutMs = 5000;
    constexpr int kHandshakeTimeoutMs = 5000;
    constexpr char kDefaultDevice[] = "PC";

    std::string compact(const Json::Value& value)
    {
        Json::FastWriter writer;
        writer.omitEndingLineFeed();
        return writer.write(value);
    }

    // One administration call: POST <host><path> with a JSON body; the reply is {"errcode", "errmsg",
    // "result"}. Error texts name the call, never the body (which holds the room's password).
    bool call(const std::string& path, const Json::Value& body, Json::Value& result, std::string& error)
    {
        const Endpoints where = endpoints();
        if (where.host.empty()) {
            error = "no chat-room service address";
            return false;
        }
        Zov_Client::ZovNet net(where.host);
        net.appendHeader("Content-Type", "application/json");
        net.setTimeoutMs(kCallTimeoutMs);
        const Zov_Client::ZovResponse response = net.post(path, compact(body));
        if (response.status < 100) {
            error = path + ": transfer failed (" + std::to_string(response.status) + "): " + response.body;
            return false;
        }
        if (response.status != 200) {
            error = path + ": HTTP status " + std::to_string(response.status);
            return false;
        }
        return readCallReply(path, response.body, result, error);
    }

    QSslConfiguration tlsConfiguration()
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        // Reading the system's store is slow (hundreds of files): once per process.
        static const QList<QSslCertificate> systemCertificates = QSslConfiguration::systemCaCertificates();
        QList<QSslCertificate> trusted = systemCertificates;
        if (const char* file = std::getenv("TAVICAST_CA_FILE"); file && *file)
            trusted += QSslCertificate::fromPath(QString::fromLocal8Bit(file));
        config.setCaCertificates(trusted);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        return config;
    }

    std::string text(const Json::Value& value, const char* member)
    {
        return jsonread::stringOf(value, member).value_or(std::string());
    }

    // A member that, when present, must have the shape `read` accepts: false only for one present with
    // another shape.
    template <typename T, typename Read>
    bool optionalMember(const Json::Value& object, const char* key, T& out, Read read)
    {
        const Json::Value& value = jsonread::member(object, key);
        if (value.isNull())
            return true;
        const auto read_ = read(value);
        if (!read_)
            return false;
        out = *read_;
        return true;
    }

} // namespace

struct WsBackend::Link {
    UICallback* callback = nullptr; // null once the backend is gone
    QWebSocket* socket = nullptr;
    int depth = 0; // callbacks running
    bool reportLoss = true;
    bool lossReported = false;

    // Runs one callback. The backend may be destroyed inside it; the socket is then released once the
    // outermost callback has returned, from the frame that the socket's own signal called, so no nested
    // event loop deletes it while its signal is still on the stack.
    template <typename Call> void deliver(const Call& call)
    {
        if (!callback)
            return;
        // Counted down even when the callback throws (the frame's handler catches it).
        struct Running {
            Link& link;
            explicit Running(Link& l)
                : link(l)
            {
                ++link.depth;
            }
            ~Running()
            {
                --link.depth;
                if (!link.callback && link.depth == 0 && link.socket) {
                    QWebSocket* orphan = link.socket;
                    link.socket = nullptr;
                    orphan->deleteLater();
                }
            }
        } running(*this);
        call(*callback);
    }

    void reportClosed()
    {
        if (lossReported)
            return;
        lossReported = true;
        if (reportLoss)
            deliver([](UICallback& c) { c.onDisconnected(); });
    }

    void dispatch(const QString& text);
};

bool readRoomFrame(std::string_view bytes, RoomFrame& frame)
{
    frame = RoomFrame();
    RoomFrame out;
    const std::optional<Json::Value> message = jsonread::parseObject(bytes);
    if (!message)
        return false;
    const std::optional<std::string> event = jsonread::stringOf(*message, "event");
    if (!event)
        return false;
    out.event = *event;
    const Json::Value& peer = jsonread::member(*message, message->isMember("peer") ? "peer" : "from");
    if (!peer.isNull() && !peer.isObject())
        return false;
    if (!optionalMember(*message, "time", out.time, jsonread::toInt64)
        || !optionalMember(*message, "shutup", out.shutup, jsonread::toInt))
        return false;
    out.chatId = text(peer, "id");
    out.handle = text(peer, "handle");

    if (out.event == "peers") {
        const Json::Value* peers = jsonread::arrayOf(*message, "peers");
        out.peers = compact(peers ? *peers : Json::Value(Json::arrayValue));
    } else if (out.event == "joined" || out.event == "left") {
        out.peer = compact(peer);
        // The peer's own data is a JSON text of its client's making.
        if (out.event == "joined") {
            if (const std::optional<Json::Value> userData = jsonread::parseObject(text(peer, "user_data")))
                out.device = text(*userData, "deviceType");
        }
    } else if (out.event == "text") {
        out.text = text(*message, "text");
    } else if (out.event == "cmd") {
        out.text = quoted(text(*message, "command"));
    } else if (out.event == "error") {
        out.text = text(*message, "message");
    }
    frame = std::move(out);
    return true;
}

bool readCallReply(const std::string& path, std::string_view body, Json::Value& result, std::string& error)
{
    const std::optional<Json::Value> reply = jsonread::parseObject(body);
    const std::optional<int64_t> code = reply ? jsonread::int64Of(*reply, "errcode") : std::nullopt;
    const Json::Value& found = reply ? jsonread::member(*reply, "result") : Json::Value::nullSingleton();
    if (!code || (!found.isNull() && !found.isObject())) {
        error = path + ": unreadable reply";
        return false;
    }
    if (*code != 0) {
        const std::string message = text(*reply, "errmsg");
        error = !message.empty() ? message : path + ": error " + std::to_string(*code);
        return false;
    }
    result = found.isObject() ? found : Json::Value(Json::objectValue);
    return true;
}

bool readJoinResult(const Json::Value& result, ChatRoom::RespJoinRoom& response)
{
    const std::optional<std::string> token = jsonread::stringOf(result, "token");
    const std::optional<int64_t> memberId = jsonread::int64Of(result, "user_id");
    if (!token || !memberId)
        return false;
    response.token = *token;
    response.memberId = *memberId;
    return true;
}

void WsBackend::Link::dispatch(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    RoomFrame frame;
    if (!readRoomFrame(std::string_view(utf8.constData(), size_t(utf8.size())), frame))
        return;
    const std::string& event = frame.event;
    if (event == "self") {
        deliver([&](UICallback& c) { c.onSelfID(frame.chatId, frame.handle); });
    } else if (event == "peers") {
        deliver([&](UICallback& c) { c.onPeers(frame.peers); });
    } else if (event == "joined") {
        deliver([&](UICallback& c) { c.onPeerJoined(frame.chatId, frame.handle, frame.device, frame.peer); });
    } else if (event == "left") {
        deliver([&](UICallback& c) { c.onPeerLeft(frame.chatId, frame.peer); });
    } else if (event == "text") {
        deliver(
            [&](UICallback& c) { c.onRecordMessage(frame.chatId, frame.handle, frame.text, frame.time); });
    } else if (event == "cmd") {
        deliver(
            [&](UICallback& c) { c.onRecievedCommand(frame.chatId, frame.handle, frame.text, frame.time); });
    } else if (event == "forbidden") {
        deliver([&](UICallback& c) { c.onRoomForbidden(frame.shutup); });
    } else if (event == "disposed") {
        deliver([](UICallback& c) { c.onChatDispose(); });
    } else if (event == "error") {
        deliver([&](UICallback& c) { c.onRoomError(frame.text); });
    }
}

WsBackend::WsBackend(UICallback* callback)
    : m_link(std::make_shared<Link>())
{
    m_link->callback = callback;
}

WsBackend::~WsBackend()
{
    m_link->callback = nullptr;
    if (m_link->depth == 0 && m_link->socket) {
        // No signal of the socket is running: it may go now. Its last signals find no callback.
        delete m_link->socket;
        m_link->socket = nullptr;
    }
}

std::string WsBackend::createRoom(const ChatRoom::ReqCreateRoom& request, std::string& error)
{
    Json::Value body(Json::objectValue);
    body["name"] = request.name;
    body["role"] = request.role;
    body["password"] = request.password;
    body["max_members"] = request.maxMembers;
    Json::Value result;
    if (!call("/chat/room/create", body, result, error))
        return std::string();
    const std::string roomId = text(result, "room_id");
    if (roomId.empty()) {
        error = "/chat/room/create: the reply has no room id";
        return std::string();
    }
    m_ownerKeys[roomId] = text(result, "owner_key");
    return roomId;
}

bool WsBackend::joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
    ChatRoom::RespJoinRoom& response, std::string& error)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["password"] = password;
    body["user_id"] = Json::Int64(userId);
    if (const auto key = m_ownerKeys.find(roomId); key != m_ownerKeys.end())
        body["owner_key"] = key->second;
    Json::Value result;
    if (!call("/chat/room/join", body, result, error))
        return false;
    if (!readJoinResult(result, response)) {
        error = "/chat/room/join: the reply has no token or member id";
        return false;
    }
    m_token = response.token;
    return true;
}

bool WsBackend::wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
    int64_t memberId, const std::string& deviceType, bool reportLoss)
{
    (void)memberId; // the token names the member
    QUrl url(QString::fromStdString(endpoints().wss));
    if (!url.isValid() || (url.scheme() != "ws" && url.scheme() != "wss") || m_link->socket)
        return false;
    const auto item = [](const char* name, const std::string& value) {
        return QByteArray(name) + '=' + QUrl::toPercentEncoding(QString::fromStdString(value));
    };
    const QByteArray query = item("room", roomId) + '&' + item("token", token) + '&' + item("name", handle)
        + '&' + item("device", deviceType.empty() ? std::string(kDefaultDevice) : deviceType);
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    if (!token.empty())
        m_token = token;

    auto* socket = new QWebSocket();
    m_link->socket = socket;
    m_link->reportLoss = reportLoss;
    m_link->lossReported = false;
    if (url.scheme() == QLatin1String("wss"))
        socket->setSslConfiguration(tlsConfiguration());

    auto* handshake = new QTimer(socket);
    handshake->setSingleShot(true);
    QObject::connect(handshake, &QTimer::timeout, socket, [socket] { socket->abort(); });
    const std::shared_ptr<Link> link = m_link;
    QObject::connect(socket, &QWebSocket::connected, socket, [socket, link, handshake] {
        handshake->stop();
        // Frames are small and each is flushed as it is sent: none may wait in the system for the previous
        // one's acknowledgement, or a command sent just before an administration call (the owner's
        // "stream_end" before the room's disposal) would reach the room after it. The WebSocket keeps its
        // connection as its child.
        if (auto* connection = socket->findChild<QAbstractSocket*>())
            connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        link->deliver([](UICallback& c) { c.onConnected(); });
    });
    QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [link](const QString& frame) {
        // A frame that fails in any way is that frame's loss; the room goes on.
        std::string error;
        if (!jsonread::guarded([&] { link->dispatch(frame); }, &error))
            qWarning("chat room: a frame was dropped: %s", error.c_str());
    });
    QObject::connect(socket, &QWebSocket::stateChanged, socket, [link](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState)
            link->reportClosed();
    });
    handshake->start(kHandshakeTimeoutMs);
    socket->open(url);
    return true;
}

bool WsBackend::send(const Json::Value& message)
{
    QWebSocket* socket = m_link->socket;
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const QString frame = QString::fromStdString(compact(message));
    if (socket->sendTextMessage(frame) <= 0)
        return false;
    // Out now: an administration call that follows (the room's disposal) must not overtake it.
    socket->flush();
    return true;
}

bool WsBackend::sendText(const std::string& text)
{
    Json::Value message(Json::objectValue);
    message["type"] = "text";
    message["text"] = text;
    return send(message);
}

bool WsBackend::sendCommand(const std::string& command)
{
    Json::Value message(Json::objectValue);
    message["type"] = "cmd";
    message["command"] = command;
    return send(message);
}

bool WsBackend::kickout(const ChatRoom::ReqKickOut& request, std::string& error)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = request.roomId;
    body["password"] = request.password;
    body["token"] = m_token;
    body["chat_id"] = request.chatId;
    body["user_id"] = Json::Int64(request.memberId);
    body["kick_type"] = request.kickType;
    Json::Value result;
    return call("/chat/room/kickout", body, result, error);
}

bool WsBackend::forbiddenWords(const ChatRoom::ReqForbiddenWords& request, std::string& error)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = request.roomId;
    body["password"] = request.password;
    body["token"] = m_token;
    body["chat_id"] = request.chatId;
    body["user_id"] = Json::Int64(request.memberId);
    body["forbid"] = request.forbid;
    body["seconds"] = request.seconds;
    Json::Value result;
    return call("/chat/room/forbid", body, result, error);
}

bool WsBackend::disposeRoom(
    const std::string& roomId, const std::string& password, const std::string& token, std::string& error)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["password"] = password;
    body["token"] = token.empty() ? m_token : token;
    Json::Value result;
    return call("/chat/room/dispose", body, result, error);
}

} // namespace cr
