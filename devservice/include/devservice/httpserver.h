#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace devservice {

struct HttpRequest {
    std::string method;
    std::string path; // the request target up to "?"
    std::string query; // after "?", without it
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case, in arrival order
    std::string body;

    std::string header(const std::string& lowerCaseName) const;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    int delayMs = 0; // answer only after this long
    bool drop = false; // close the connection without answering
};

// HTTP/1.1 server, one request per connection ("Connection: close"), over TLS when a certificate is set.
// Bodies need a Content-Length; the request head is bounded to 64 KiB and the body to 16 MiB (a larger one is
// answered 413 and the connection closed). Lives in the thread that owns it; the handler runs there.
class HttpServer : public QTcpServer {
    Q_OBJECT
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // Takes over a connection whose request asks for "Upgrade: websocket". The socket comes with every byte
    // it received still unread and with nothing of the server connected to it; the handler owns it from
    // then on. Runs in the server's thread.
    using UpgradeHandler = std::function<void(QTcpSocket* socket, const HttpRequest& request)>;

    explicit HttpServer(Handler handler, QObject* parent = nullptr);

    void setTls(const QSslCertificate& certificate, const QSslKey& key);
    // Without one, upgrade requests are served like any other request.
    void setUpgradeHandler(UpgradeHandler handler) { m_upgradeHandler = std::move(handler); }

    static constexpr int kMaxHeadBytes = 64 * 1024;
    static constexpr long long kMaxBodyBytes = 16LL * 1024 * 1024;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Handler m_handler;
    UpgradeHandler m_upgradeHandler;
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_tls = false;
};

} // namespace devservice
