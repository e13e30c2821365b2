#include "wsbackend.h"

#include <korvex/zovnet.h>

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QAbstractSocket>
#include <QWebSocket>

#include <json/reader.h>
#include <json/writer.h>

#include <cstdlib>

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

    bool parse(const std::string& text, Json::Value& out)
    {
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
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
        Json::Value reply;
        if (!parse(response.body, reply) || !reply.isObject() || !reply["errcode"].isIntegral()) {
            error = path + ": unreadable reply";
            return false;
        }
        if (reply["errcode"].asInt() != 0) {
            error = reply["errmsg"].isString() && !reply["errmsg"].asString().empty()
                ? reply["errmsg"].asString()
                : path + ": error " + std::to_string(reply["errcode"].asInt());
            return false;
        }
        result = reply["result"];
        return true;
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
        const Json::Value& field = value[member];
        return field.isString() ? field.asString() : std::string();
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
        ++depth;
        call(*callback);
        --depth;
        if (!callback && depth == 0 && socket) {
            QWebSocket* orphan = socket;
            socket = nullptr;
            orphan->deleteLater();
        }
    }

    void reportClosed()
    {
        if (lossReported)
            return;
        lossReported = true;
        if (reportLoss)
            deliver([](UICallback& c) { c.onDisconnected(); });
    }

    void dispatch(const QString& frame);
};

void WsBackend::Link::dispatch(const QString& frame)
{
    Json::Value message;
    if (!parse(frame.toStdString(), message) || !message.isObject() || !message["event"].isString())
        return;
    const std::string event = message["event"].asString();
    const Json::Value& peer = message.isMember("peer") ? message["peer"] : message["from"];
    const std::string chatId = text(peer, "id");
    const std::string handle = text(peer, "handle");
    const Json::Int64 time = message["time"].isIntegral() ? message["time"].asInt64() : 0;

    if (event == "self") {
        deliver([&](UICallback& c) { c.onSelfID(chatId, handle); });
    } else if (event == "peers") {
        const std::string peers = compact(message["peers"].isArray() ? message["peers"] : Json::arrayValue);
        deliver([&](UICallback& c) { c.onPeers(peers); });
    } else if (event == "joined") {
        Json::Value userData;
        parse(text(peer, "user_data"), userData);
        const std::string device = userData.isObject() ? text(userData, "deviceType") : std::string();
        const std::string json = compact(peer);
        deliver([&](UICallback& c) { c.onPeerJoined(chatId, handle, device, json); });
    } else if (event == "left") {
        const std::string json = compact(peer);
        deliver([&](UICallback& c) { c.onPeerLeft(chatId, json); });
    } else if (event == "text") {
        const std::string body = text(message, "text");
        deliver([&](UICallback& c) { c.onRecordMessage(chatId, handle, body, time); });
    } else if (event == "cmd") {
        const std::string command = quoted(text(message, "command"));
        deliver([&](UICallback& c) { c.onRecievedCommand(chatId, handle, command, time); });
    } else if (event == "forbidden") {
        const int shutup = message["shutup"].isIntegral() ? message["shutup"].asInt() : 0;
        deliver([&](UICallback& c) { c.onRoomForbidden(shutup); });
    } else if (event == "disposed") {
        deliver([](UICallback& c) { c.onChatDispose(); });
    } else if (event == "error") {
        const std::string reason = text(message, "message");
        deliver([&](UICallback& c) { c.onRoomError(reason); });
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
    if (!result["token"].isString() || !result["user_id"].isIntegral()) {
        error = "/chat/room/join: the reply has no token or member id";
        return false;
    }
    response.token = result["token"].asString();
    response.memberId = result["user_id"].asInt64();
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
    QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
        [link](const QString& frame) { link->dispatch(frame); });
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
