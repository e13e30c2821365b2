#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTcpSocket;

namespace devservice {

struct HttpRequest {
    std::string method;
    std::string path; // the request target up to "?"
    std::string query; // after "?", without it
    std::string version; // "HTTP/1.1", "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case, in arrival order
    std::string body;
    unsigned long long connection = 0; // the server's number of the connection it came on, from 1

    std::string header(const std::string& lowerCaseName) const;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    int delayMs = 0; // answer only after this long
    bool drop = false; // close the connection without answering
};

// HTTP/1.1 server, over TLS when a certificate is set. Connections are kept alive between requests (unless
// the client asks to close, or speaks HTTP/1.0 without asking to keep it) and closed after kIdleTimeoutMs
// without a request; requests on one connection are answered in order.
//
// Bodies need a Content-Length; the request head is bounded to 64 KiB and the body to 16 MiB (a larger one is
// answered 413 and the connection closed, as is every malformed request). A handler that throws is answered
// 500, and the connection goes on.
//
// The server object lives in the thread that owns it and accepts there; connections are served by a pool of
// worker threads (TLS handshake, parsing, the handler), each connection by one of them. The handler is
// therefore called from several threads at once and must be thread-safe. Destroying the server closes every
// connection and joins the workers.
class HttpServer : public QTcpServer {
    Q_OBJECT
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    // A connection the server gives away instead of answering: when `wants` accepts a request's head, the
    // socket is handed over unread (the head and everything after it still in the socket), with no signal
    // of the server connected, and without a parent; `take` then runs with it and the parsed head in the
    // thread of `owner`, and owns it. For protocols that take over an HTTP connection (an "Upgrade" request).
    struct TakeOver {
        std::function<bool(const HttpRequest&)> wants; // called on a worker thread
        QObject* owner = nullptr; // must outlive the server
        std::function<void(QTcpSocket*, const HttpRequest&)> take;
    };

    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    void setTls(const QSslCertificate& certificate, const QSslKey& key);
    // The number of worker threads; set before listening. Default: the processor count, 2 to 16.
    void setWorkerCount(int count);
    // Set before listening.
    void setTakeOver(TakeOver takeOver);

    static constexpr int kMaxHeadBytes = 64 * 1024;
    static constexpr long long kMaxBodyBytes = 16LL * 1024 * 1024;
    static constexpr int kIdleTimeoutMs = 30000;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Worker;
    void startWorkers();

    Handler m_handler;
    std::shared_ptr<const TakeOver> m_takeOver;
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_tls = false;
    int m_workerCount = 0;
    std::vector<std::unique_ptr<Worker>> m_workers;
    size_t m_nextWorker = 0;
    std::atomic<unsigned long long> m_connections { 0 };
};

} // namespace devservice
