#include "app/localserver.h"

#include "app/localsocket.h"

#include <QHostAddress>
#include <QTcpSocket>

LocalServer::LocalServer(QObject* parent)
    : QObject(parent)
{
}

LocalServer::~LocalServer()
{
    delete m_server;
    for (LocalSocket* socket : qAsConst(m_sockets)) {
        socket->disconnect(this);
        delete socket;
    }
}

bool LocalServer::listen(quint16 port)
{
    delete m_server;
    m_server = new QTcpServer;
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        delete m_server;
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &LocalServer::accept);
    return true;
}

quint16 LocalServer::serverPort() const
{
    return m_server ? m_server->serverPort() : 0;
}

void LocalServer::accept()
{
    if (!m_server)
        return;
    while (QTcpSocket* connection = m_server->nextPendingConnection()) {
        // The wrapper takes the connection over; the server must not delete it with itself.
        connection->setParent(nullptr);
        auto* socket = new LocalSocket(connection);
        connect(socket, &LocalSocket::message, this, &LocalServer::message);
        connect(socket, &LocalSocket::disconnected, this, &LocalServer::onSocketDisconnected);
        m_sockets.append(socket);
    }
}

void LocalServer::onSocketDisconnected()
{
    auto* socket = qobject_cast<LocalSocket*>(sender());
    if (!socket || !m_sockets.removeOne(socket))
        return;
    if (m_sockets.isEmpty())
        emit allClientDisconnected();
    socket->deleteLater();
}

void LocalServer::broadcast(const QString& msg)
{
    for (LocalSocket* socket : qAsConst(m_sockets))
        socket->write(msg);
}
