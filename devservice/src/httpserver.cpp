#include <devservice/httpserver.h>

#include <QSslSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <optional>
#include <unistd.h>

namespace devservice {

namespace {

    std::string lowerCase(std::string text)
    {
        std::transform(
            text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }

    std::string trimmed(const std::string& text)
    {
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return std::string();
        return text.substr(first, text.find_last_not_of(" \t") - first + 1);
    }

    const char* reasonPhrase(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
        }
    }

    void writeReply(QTcpSocket* socket, const HttpReply& reply, bool keepAlive)
    {
        std::string head
            = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
        head += "Content-Type: " + reply.contentType + "\r\n";
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        socket->write(head.data(), static_cast<qint64>(head.size()));
        socket->write(reply.body.data(), static_cast<qint64>(reply.body.size()));
        // Written now, not once control is back in the event loop: a client that has shut its sending side
        // after the request is seen as gone there, and the socket drops what it still buffers.
        socket->flush();
    }

    HttpReply plainReply(int status, const std::string& text)
    {
        return { status, text, "text/plain", 0, false };
    }

    // Reads a request head (without its closing empty line) into `request` and `bodySize`; returns the
    // refusal when it is malformed or announces a body that is not accepted.
    std::optional<HttpReply> parseHead(const std::string& head, HttpRequest& request, long long& bodySize)
    {
        size_t lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const size_t space1 = requestLine.find(' ');
        const size_t space2 = requestLine.find(' ', space1 == std::string::npos ? space1 : space1 + 1);
        if (space1 == std::string::npos || space2 == std::string::npos)
            return plainReply(400, "malformed request line");
        request.method = requestLine.substr(0, space1);
        const std::string target = requestLine.substr(space1 + 1, space2 - space1 - 1);
        const size_t question = target.find('?');
        request.path = target.substr(0, question);
        request.query = question == std::string::npos ? std::string() : target.substr(question + 1);
        request.version = requestLine.substr(space2 + 1);

        while (lineEnd != std::string::npos) {
            const size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            const std::string line
                = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0)
                return plainReply(400, "malformed header line");
            request.headers.emplace_back(lowerCase(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
        }

        if (!request.header("transfer-encoding").empty())
            return plainReply(411, "a Content-Length is required");
        const std::string length = request.header("content-length");
        long long size = 0;
        if (!length.empty()) {
            if (length.size() > 18 || !std::all_of(length.begin(), length.end(), ::isdigit))
                return plainReply(400, "malformed Content-Length");
            size = std::stoll(length);
        }
        if (size > HttpServer::kMaxBodyBytes)
            return plainReply(413, "request body too large");
        bodySize = size;
        return std::nullopt;
    }

    // HTTP/1.1 keeps a connection unless told to close it; HTTP/1.0 closes it unless told to keep it.
    bool keepsAlive(const HttpRequest& request)
    {
        const std::string connection = lowerCase(request.header("connection"));
        if (request.version == "HTTP/1.1")
            return connection.find("close") == std::string::npos;
        return connection.find("keep-alive") != std::string::npos;
    }

    // Reads the requests of one socket and answers them in order. Owned by the socket; lives in its thread.
    class Connection : public QObject {
    public:
        Connection(QTcpSocket* socket, const HttpServer::Handler& handler,
            std::shared_ptr<const HttpServer::TakeOver> takeOver, unsigned long long number)
            : QObject(socket)
            , m_socket(socket)
            , m_handler(handler)
            , m_takeOver(std::move(takeOver))
            , m_number(number)
        {
            m_idle.setSingleShot(true);
            m_idle.setInterval(HttpServer::kIdleTimeoutMs);
            QObject::connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->disconnectFromHost(); });
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { read(); });
            m_idle.start();
        }

    private:
        void read()
        {
            if (m_answering)
                return; // read again once answered
            if (offerTakeOver())
                return;
            m_buffer += m_socket->readAll().toStdString();
            serveBuffered();
        }

        void serveBuffered()
        {
            while (!m_answering) {
                if (m_bodySize < 0) {
                    const size_t end = m_buffer.find("\r\n\r\n");
                    if (end == std::string::npos) {
                        if (m_buffer.size() > static_cast<size_t>(HttpServer::kMaxHeadBytes))
                            answer(plainReply(431, "request head too large"), false);
                        return;
                    }
                    m_request = HttpRequest();
                    const std::optional<HttpReply> refusal
                        = parseHead(m_buffer.substr(0, end), m_request, m_bodySize);
                    m_buffer.erase(0, end + 4);
                    if (refusal) {
                        answer(*refusal, false);
                        return;
                    }
                }
                if (static_cast<long long>(m_buffer.size()) < m_bodySize)
                    return;
                m_request.body = m_buffer.substr(0, static_cast<size_t>(m_bodySize));
                m_buffer.erase(0, static_cast<size_t>(m_bodySize));
                m_request.connection = m_number;
                answer(handled(m_request), keepsAlive(m_request));
            }
        }

        // The handler's reply; whatever escapes it is that request's failure, never the service's end.
        HttpReply handled(const HttpRequest& request)
        {
            try {
                return m_handler(request);
            } catch (const std::exception& e) {
                qWarning("devservice: %s %s failed: %s", request.method.c_str(), request.path.c_str(), e.what());
            } catch (...) {
                qWarning("devservice: %s %s failed", request.method.c_str(), request.path.c_str());
            }
            return plainReply(500, "the request could not be handled");
        }

        // A request at the start of the socket's unread data that the take-over wants: the socket goes to
        // it unread. True as well while such a request's head is still incomplete.
        bool offerTakeOver()
        {
            if (!m_takeOver || m_bodySize >= 0 || !m_buffer.empty())
                return false;
            const QByteArray peeked = m_socket->peek(HttpServer::kMaxHeadBytes + 4);
            const int end = peeked.indexOf("\r\n\r\n");
            if (end < 0)
                return peeked.size() <= HttpServer::kMaxHeadBytes;
            HttpRequest head;
            long long bodySize = 0;
            if (parseHead(peeked.left(end).toStdString(), head, bodySize) || !m_takeOver->wants(head))
                return false;

            m_idle.stop();
            QTcpSocket* socket = m_socket;
            socket->disconnect();
            m_answering = true;
            // Handed over once the socket's own read notification has returned: a socket moved to another
            // thread from inside its readyRead re-enables its read notifier from the old thread, which Qt
            // refuses, and the new owner would never hear from it again.
            QMetaObject::invokeMethod(
                this,
                [this, socket, takeOver = m_takeOver, head] {
                    setParent(nullptr);
                    deleteLater();
                    socket->setParent(nullptr);
                    QObject* owner = takeOver->owner;
                    socket->moveToThread(owner->thread());
                    QMetaObject::invokeMethod(owner, [takeOver, socket, head] { takeOver->take(socket, head); });
                },
                Qt::QueuedConnection);
            return true;
        }

        void answer(const HttpReply& reply, bool keepAlive)
        {
            m_answering = true;
            m_idle.stop();
            if (reply.drop && reply.delayMs <= 0) {
                m_socket->abort();
                return;
            }
            auto send = [this, reply, keepAlive] {
                if (reply.drop) {
                    m_socket->abort();
                    return;
                }
                writeReply(m_socket, reply, keepAlive);
                if (!keepAlive) {
                    m_socket->disconnectFromHost();
                    return;
                }
                m_bodySize = -1;
                m_answering = false;
                m_idle.start();
                // A request that arrived meanwhile: its readyRead was passed over.
                if (!m_buffer.empty() || m_socket->bytesAvailable() > 0)
                    QMetaObject::invokeMethod(
                        this, [this] { read(); }, Qt::QueuedConnection);
            };
            if (reply.delayMs > 0)
                QTimer::singleShot(reply.delayMs, this, send);
            else
                send();
        }

        QTcpSocket* m_socket;
        const HttpServer::Handler& m_handler;
        const std::shared_ptr<const HttpServer::TakeOver> m_takeOver;
        const unsigned long long m_number;
        QTimer m_idle;
        std::string m_buffer;
        HttpRequest m_request;
        long long m_bodySize = -1; // negative until the head of the next request is read
        bool m_answering = false;
    };

} // namespace

std::string HttpRequest::header(const std::string& lowerCaseName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return std::string();
}

// A thread and the object that parents the sockets it serves.
class HttpServer::Worker {
public:
    explicit Worker(int index)
    {
        m_thread.setObjectName(QStringLiteral("devservice-%1").arg(index));
        context = new QObject;
        context->moveToThread(&m_thread);
        m_thread.start();
    }
    ~Worker()
    {
        QObject* doomed = context;
        QMetaObject::invokeMethod(
            doomed, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    QObject* context;

private:
    QThread m_thread;
};

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QTcpServer(parent)
    , m_handler(std::move(handler))
{
}

HttpServer::~HttpServer()
{
    close();
    m_workers.clear();
}

void HttpServer::setTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
    m_tls = true;
}

void HttpServer::setWorkerCount(int count) { m_workerCount = count; }

void HttpServer::setTakeOver(TakeOver takeOver)
{
    m_takeOver = std::make_shared<const TakeOver>(std::move(takeOver));
}

void HttpServer::startWorkers()
{
    const int count = m_workerCount > 0 ? m_workerCount : std::clamp(QThread::idealThreadCount(), 2, 16);
    for (int i = 0; i < count; ++i)
        m_workers.push_back(std::make_unique<Worker>(i));
}

void HttpServer::incomingConnection(qintptr descriptor)
{
    if (m_workers.empty())
        startWorkers();
    QObject* context = m_workers[m_nextWorker++ % m_workers.size()]->context;
    const unsigned long long number = ++m_connections;
    // Runs in the worker's thread; the server outlives it, as its destructor joins the workers first.
    QMetaObject::invokeMethod(context, [this, context, descriptor, number] {
        QTcpSocket* socket = nullptr;
        if (m_tls) {
            auto* ssl = new QSslSocket(context);
            ssl->setLocalCertificate(m_certificate);
            ssl->setPrivateKey(m_key);
            ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
            socket = ssl;
        } else {
            socket = new QTcpSocket(context);
        }
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        // No Nagle delay: the TLS handshake and the WebSocket upgrade are exchanges of small writes, each
        // held back until the peer's delayed acknowledgement otherwise (tens of milliseconds per connect).
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QAbstractSocket::errorOccurred, socket, [socket] {
            if (socket->state() != QAbstractSocket::ConnectedState)
                socket->deleteLater();
        });
        new Connection(socket, m_handler, m_takeOver, number);
        if (m_tls)
            static_cast<QSslSocket*>(socket)->startServerEncryption();
    });
}

} // namespace devservice
