#include <devservice/httpserver.h>

#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cctype>

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

    void writeReply(QTcpSocket* socket, const HttpReply& reply)
    {
        std::string head
            = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
        head += "Content-Type: " + reply.contentType + "\r\n";
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head.data(), static_cast<qint64>(head.size()));
        socket->write(reply.body.data(), static_cast<qint64>(reply.body.size()));
        socket->disconnectFromHost();
    }

    HttpReply plainReply(int status, const std::string& text)
    {
        return { status, text, "text/plain", 0, false };
    }

    // Reads one request from a socket and answers it. Owned by the socket.
    class Connection : public QObject {
    public:
        Connection(QTcpSocket* socket, const HttpServer::Handler& handler,
            const HttpServer::UpgradeHandler& upgradeHandler)
            : QObject(socket)
            , m_socket(socket)
            , m_handler(handler)
            , m_upgradeHandler(upgradeHandler)
        {
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { read(); });
        }

    private:
        void read()
        {
            if (m_done)
                return;
            m_buffer += m_socket->readAll().toStdString();
            if (m_bodySize < 0 && !parseHead())
                return;
            if (m_bodySize < 0)
                return; // head incomplete
            if (m_upgradeHandler && lowerCase(m_request.header("upgrade")) == "websocket")
                return handOver();
            if (static_cast<long long>(m_buffer.size()) < m_bodySize)
                return;
            m_request.body = m_buffer.substr(0, static_cast<size_t>(m_bodySize));
            answer(m_handler(m_request));
        }

        // Returns false after answering a bad head; leaves m_bodySize negative while the head is incomplete.
        bool parseHead()
        {
            const size_t end = m_buffer.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (m_buffer.size() > static_cast<size_t>(HttpServer::kMaxHeadBytes)) {
                    answer(plainReply(431, "request head too large"));
                    return false;
                }
                return true;
            }
            const std::string head = m_buffer.substr(0, end);
            m_rawHead = m_buffer.substr(0, end + 4);
            m_buffer.erase(0, end + 4);

            size_t lineEnd = head.find("\r\n");
            const std::string requestLine = head.substr(0, lineEnd);
            const size_t space1 = requestLine.find(' ');
            const size_t space2 = requestLine.find(' ', space1 == std::string::npos ? space1 : space1 + 1);
            if (space1 == std::string::npos || space2 == std::string::npos) {
                answer(plainReply(400, "malformed request line"));
                return false;
            }
            m_request.method = requestLine.substr(0, space1);
            const std::string target = requestLine.substr(space1 + 1, space2 - space1 - 1);
            const size_t question = target.find('?');
            m_request.path = target.substr(0, question);
            m_request.query = question == std::string::npos ? std::string() : target.substr(question + 1);

            while (lineEnd != std::string::npos) {
                const size_t start = lineEnd + 2;
                lineEnd = head.find("\r\n", start);
                const std::string line
                    = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
                const size_t colon = line.find(':');
                if (colon == std::string::npos || colon == 0) {
                    answer(plainReply(400, "malformed header line"));
                    return false;
                }
                m_request.headers.emplace_back(
                    lowerCase(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
            }

            if (!m_request.header("transfer-encoding").empty()) {
                answer(plainReply(411, "a Content-Length is required"));
                return false;
            }
            const std::string length = m_request.header("content-length");
            long long size = 0;
            if (!length.empty()) {
                if (length.size() > 18 || !std::all_of(length.begin(), length.end(), ::isdigit)) {
                    answer(plainReply(400, "malformed Content-Length"));
                    return false;
                }
                size = std::stoll(length);
            }
            if (size > HttpServer::kMaxBodyBytes) {
                answer(plainReply(413, "request body too large"));
                return false;
            }
            m_bodySize = size;
            return true;
        }

        // Gives the socket, with what it received put back unread, to the upgrade handler. Everything this
        // server connected to the socket is cut first.
        void handOver()
        {
            m_done = true;
            QTcpSocket* socket = m_socket;
            QObject::disconnect(socket, nullptr, this, nullptr);
            QObject::disconnect(socket, nullptr, socket, nullptr);
            const std::string received = m_rawHead + m_buffer;
            for (auto c = received.rbegin(); c != received.rend(); ++c)
                socket->ungetChar(*c);
            const HttpRequest request = m_request;
            const HttpServer::UpgradeHandler& handler = m_upgradeHandler;
            deleteLater();
            handler(socket, request);
        }

        void answer(const HttpReply& reply)
        {
            m_done = true;
            QTcpSocket* socket = m_socket;
            if (reply.drop && reply.delayMs <= 0) {
                socket->abort();
                return;
            }
            auto send = [socket, reply] {
                if (reply.drop)
                    socket->abort();
                else
                    writeReply(socket, reply);
            };
            if (reply.delayMs > 0)
                QTimer::singleShot(reply.delayMs, socket, send);
            else
                send();
        }

        QTcpSocket* m_socket;
        const HttpServer::Handler& m_handler;
        const HttpServer::UpgradeHandler& m_upgradeHandler;
        std::string m_buffer;
        std::string m_rawHead;
        HttpRequest m_request;
        long long m_bodySize = -1;
        bool m_done = false;
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

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QTcpServer(parent)
    , m_handler(std::move(handler))
{
}

void HttpServer::setTls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_certificate = certificate;
    m_key = key;
    m_tls = true;
}

void HttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (m_tls) {
        auto* ssl = new QSslSocket(this);
        ssl->setLocalCertificate(m_certificate);
        ssl->setPrivateKey(m_key);
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
    }
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QAbstractSocket::errorOccurred, socket, [socket] {
        if (socket->state() != QAbstractSocket::ConnectedState)
            socket->deleteLater();
    });
    new Connection(socket, m_handler, m_upgradeHandler);
    if (m_tls)
        static_cast<QSslSocket*>(socket)->startServerEncryption();
}

} // namespace devservice
