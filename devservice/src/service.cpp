#include <devservice/service.h>

#include <devservice/certificates.h>
#include <devservice/httpserver.h>
#include <devservice/jsonfields.h>
#include <devservice/mediaforwarder.h>
#include <devservice/requestverifier.h>
#include <devservice/servicetable.h>

#include <QSaveFile>
#include <QTemporaryDir>
#include <QThread>

#include <json/writer.h>

namespace devservice {

namespace {

    bool isWebSocketUpgrade(const HttpRequest& request)
    {
        return QString::fromStdString(request.header("upgrade")).compare("websocket", Qt::CaseInsensitive) == 0;
    }

    // Replies enciphered with `wrongKey` cannot be read by any client.
    constexpr char kWrongKey[] = "not.the.right.k!";

    // False for text that is not JSON or nests deeper than the service reads: one bad request never ends
    // the service.
    bool parseJson(const std::string& text, Json::Value& out, std::string* refusal = nullptr)
    {
        std::string error;
        if (jsonfields::parse(text, out, &error))
            return true;
        if (refusal && error.find("nested") != std::string::npos)
            *refusal = "the body nests JSON deeper than the service reads";
        return false;
    }

    std::string compact(const Json::Value& value)
    {
        Json::FastWriter writer;
        writer.omitEndingLineFeed();
        return writer.write(value);
    }

    bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error)
    {
        QSaveFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(content.data(), qint64(content.size())) != qint64(content.size())
            || !file.commit()) {
            error = "cannot write " + path + ": " + file.errorString().toStdString();
            return false;
        }
        return true;
    }

} // namespace

Service::Service(Options options)
    : m_options(std::move(options))
    , m_routes(m_options.routes)
    , m_recordLimit(m_options.recordLimit)
{
}

Service::~Service() { stop(); }

bool Service::start(std::string* error)
{
    std::string reason;
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        stop();
        return false;
    };
    if (m_thread)
        return fail("the service is already running");

    Certificates certificates;
    if (m_options.https) {
        if (!makeCertificates(certificates, reason))
            return fail(reason);
        m_caFile = m_options.caFile;
        if (m_caFile.empty()) {
            m_temporaryDir = std::make_unique<QTemporaryDir>();
            if (!m_temporaryDir->isValid())
                return fail("cannot make a temporary folder for the certificate");
            m_caFile = m_temporaryDir->filePath("devservice-ca.pem").toStdString();
        }
        if (!writeFileAtomically(m_caFile, certificates.authorityPem, reason))
            return fail(reason);
    }

    m_forwarder = std::make_unique<MediaForwarder>();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName("devservice");
    m_server = new HttpServer([this](const HttpRequest& request) { return handle(request); });
    m_server->setWorkerCount(m_options.threads);
    if (m_options.https) {
        m_server->setTls(QSslCertificate(QByteArray::fromStdString(certificates.serverPem)),
            QSslKey(QByteArray::fromStdString(certificates.serverKeyPem), QSsl::Ec));
    }
    m_chatRooms = new ChatRoomService();
    HttpServer::TakeOver upgrades;
    upgrades.wants = [](const HttpRequest& request) { return isWebSocketUpgrade(request); };
    upgrades.owner = m_chatRooms;
    upgrades.take = [rooms = m_chatRooms](QTcpSocket* socket, const HttpRequest& request) {
        rooms->takeConnection(socket, request);
    };
    m_server->setTakeOver(std::move(upgrades));
    m_chatRooms->moveToThread(m_thread.get());
    m_server->moveToThread(m_thread.get());
    m_thread->start();

    bool listening = false;
    QMetaObject::invokeMethod(
        m_server,
        [this, &listening, &reason] {
            listening = m_server->listen(QHostAddress::LocalHost, m_options.port);
            if (listening)
                m_port = m_server->serverPort();
            else
                reason = "cannot listen on 127.0.0.1:" + std::to_string(m_options.port) + ": "
                    + m_server->errorString().toStdString();
        },
        Qt::BlockingQueuedConnection);
    if (!listening)
        return fail(reason);
    return true;
}

void Service::stop()
{
    if (m_thread) {
        if (m_chatRooms) {
            ChatRoomService* rooms = m_chatRooms;
            QMetaObject::invokeMethod(
                rooms, [rooms] { delete rooms; }, Qt::BlockingQueuedConnection);
            m_chatRooms = nullptr;
        }
        if (m_server) {
            HttpServer* server = m_server;
            QMetaObject::invokeMethod(
                server, [server] { delete server; }, Qt::BlockingQueuedConnection);
            m_server = nullptr;
        }
        m_thread->quit();
        m_thread->wait();
        m_thread.reset();
    }
    m_forwarder.reset();
    m_port = 0;
}

quint16 Service::port() const { return m_port; }

std::string Service::baseUrl() const
{
    return std::string(m_options.https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

std::string Service::caFile() const { return m_options.https ? m_caFile : std::string(); }

void Service::addRoute(const std::string& path, Route route)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes[path] = std::move(route);
}

void Service::script(const std::string& path, ScriptedReply reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_scripts[path].push_back(std::move(reply));
}

std::vector<RecordedRequest> Service::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<RecordedRequest>(m_requests.begin(), m_requests.end());
}

void Service::setRecordLimit(size_t limit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recordLimit = limit;
    while (m_requests.size() > m_recordLimit)
        m_requests.pop_front();
}

void Service::record(RecordedRequest request)
{
    if (m_recordLimit == 0)
        return;
    if (m_requests.size() >= m_recordLimit)
        m_requests.pop_front();
    m_requests.push_back(std::move(request));
}

MediaForwarder* Service::forwarder() const { return m_forwarder.get(); }

std::vector<ChatRoomSnapshot> Service::chatRooms() const
{
    return m_chatRooms ? m_chatRooms->snapshot() : std::vector<ChatRoomSnapshot>();
}

void Service::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

HttpReply Service::handle(const HttpRequest& request)
{
    return serve(request, m_chatRooms, m_forwarder.get());
}

HttpReply Service::serve(const HttpRequest& request, ChatRoomService* chatRooms, MediaForwarder* forwarder)
{
    RecordedRequest record;
    record.method = request.method;
    record.path = request.path;
    record.query = request.query;
    record.headers = request.headers;
    record.body = request.body;
    record.secure = m_options.https;
    record.connection = request.connection;
    record.chatRooms = chatRooms;
    record.forwarder = forwarder;

    std::unique_lock<std::mutex> lock(m_mutex);
    const auto route = m_routes.find(request.path);
    if (route == m_routes.end()) {
        record.problem = "no route";
        this->record(std::move(record));
        return { 404, "no route for " + request.path, "text/plain", 0, false };
    }
    const Route routeCopy = route->second;
    std::optional<ScriptedReply> scripted;
    auto queue = m_scripts.find(request.path);
    if (queue != m_scripts.end() && !queue->second.empty()) {
        scripted = std::move(queue->second.front());
        queue->second.pop_front();
    }
    lock.unlock();

    decode(routeCopy, record);
    ScriptedReply reply;
    if (scripted)
        reply = std::move(*scripted);
    else if (!record.problem.empty())
        reply = ScriptedReply::failure(kRefusedCode, record.problem);
    bool failed = false; // the route threw: the request's answer is 500, the service goes on
    if (!scripted && record.problem.empty() && routeCopy.handler) {
        try {
            reply = routeCopy.handler(record);
        } catch (const std::exception& e) {
            failed = true;
            record.problem = std::string("the route failed: ") + e.what();
        } catch (...) {
            failed = true;
            record.problem = "the route failed";
        }
    }

    if (routeCopy.recorded) {
        lock.lock();
        this->record(std::move(record));
        lock.unlock();
    }
    if (failed)
        return { 500, "the request could not be handled", "text/plain", 0, false };
    return render(reply, routeCopy.aesKey);
}

void Service::decode(const Route& route, RecordedRequest& record)
{
    record.plainBody = record.body;
    if (route.envelope) {
        Json::Value envelope;
        std::string refusal;
        const bool parsed = parseJson(record.body, envelope, &refusal);
        const std::optional<std::string> cipher = jsonfields::stringOf(envelope, wire::kEnvelopeCipher);
        if (!parsed || !cipher) {
            record.problem = refusal.empty() ? "the body is not an envelope" : refusal;
            return;
        }
        record.enveloped = true;
        record.envelopeVersion = jsonfields::member(envelope, wire::kEnvelopeVersion);
        if (!jsonfields::toInt(record.envelopeVersion)) {
            record.problem = "the envelope has no integer version";
            return;
        }
        const std::optional<std::string> plain = aesDecrypt(*cipher, route.aesKey);
        if (!plain) {
            record.problem = "the envelope does not decrypt with the route's key";
            return;
        }
        record.plainBody = *plain;
    }
    std::string refusal;
    if (!parseJson(record.plainBody, record.members, &refusal)) {
        record.members = Json::Value();
        if (!refusal.empty())
            record.problem = refusal;
        else if (route.signedBody)
            record.problem = "the body is not JSON";
        return;
    }
    if (!route.signedBody) {
        // Taken unsigned; a signature that is there is still checked, for the record and the route.
        if (jsonfields::has(record.members, wire::kSignature))
            record.signatureValid = verifySignature(record.members).valid;
        return;
    }
    const SignatureCheck check = verifySignature(record.members);
    record.signatureValid = check.valid;
    record.problem = check.problem;
}

HttpReply Service::render(const ScriptedReply& reply, const std::string& aesKey)
{
    HttpReply http;
    http.status = reply.status;
    http.delayMs = reply.delayMs;
    http.drop = reply.drop;
    if (reply.rawBody) {
        http.body = *reply.rawBody;
        if (!reply.contentType.empty())
            http.contentType = reply.contentType;
        return http;
    }
    Json::Value object(Json::objectValue);
    object[wire::kReplyCode] = reply.errcode;
    object[wire::kReplyMessage] = reply.errmsg;
    object[wire::kReplyEncrypted] = reply.encrypt ? 1 : 0;
    if (!reply.result.isNull()) {
        if (reply.encrypt) {
            const std::string plain
                = reply.result.isString() ? reply.result.asString() : compact(reply.result);
            const std::string key = reply.wrongKey || aesKey.empty() ? std::string(kWrongKey) : aesKey;
            object[wire::kReplyData] = aesEncrypt(plain, key);
        } else {
            object[wire::kReplyData] = reply.result;
        }
    }
    http.body = compact(object);
    return http;
}

} // namespace devservice
