// chat_broadcaster: the least a chat room's fan-out can cost. Accepts WebSocket connections on 127.0.0.1 and
// sends every text frame it gets to every open connection, the sender's included: no rooms, no members, no
// checks. Prints "ws URL: ws://127.0.0.1:<port>/" once listening; ends on SIGTERM.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int quitPipe[2] = { -1, -1 };

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QWebSocketServer server("chat_broadcaster", QWebSocketServer::NonSecureMode);
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "chat_broadcaster: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::vector<QWebSocket*> sockets;
    QObject::connect(&server, &QWebSocketServer::newConnection, [&] {
        while (QWebSocket* socket = server.nextPendingConnection()) {
            socket->setParent(&server);
            sockets.push_back(socket);
            QObject::connect(socket, &QWebSocket::textMessageReceived, [&](const QString& frame) {
                for (QWebSocket* to : sockets)
                    to->sendTextMessage(frame);
            });
            QObject::connect(socket, &QWebSocket::disconnected, [&, socket] {
                sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
                socket->deleteLater();
            });
        }
    });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitPipe) != 0)
        return 1;
    QSocketNotifier quit(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quit, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);

    std::printf("ws URL: ws://127.0.0.1:%u/\n", unsigned(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
