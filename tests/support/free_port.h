#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback port that nothing listens on (taken from the system and released again), for refused
// connections.
inline quint16 closedLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}
