#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class LocalSocket;

// TCP server on the IPv4 loopback address for the floating control program. Every text a peer sends
// is re-emitted as message(). Owns its TCP server and the wrappers of its peers: destroying the server
// closes every open connection. GUI thread only.
class LocalServer : public QObject {
    Q_OBJECT
public:
    explicit LocalServer(QObject* parent = nullptr);
    ~LocalServer() override;

    // Listens on 127.0.0.1:port, replacing the previous server. False when the port cannot be bound.
    bool listen(quint16 port);
    // The port actually listened on (useful with port 0); 0 when not listening.
    quint16 serverPort() const;
    // Sends `msg` as one frame to every connected peer.
    void broadcast(const QString& msg);
    int peerCount() const { return m_sockets.size(); }

signals:
    void message(QString msg);
    void allClientDisconnected();

public slots:
    void accept();

private:
    void onSocketDisconnected();

    QPointer<QTcpServer> m_server;
    QList<LocalSocket*> m_sockets;
};
