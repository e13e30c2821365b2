#include "app/localserver.h"
#include "app/localsocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QByteArray frame(const QByteArray& text)
{
    char length[4];
    qToLittleEndian<quint32>(quint32(text.size()), length);
    return QByteArray(length, 4) + text;
}

// Client and server live on this thread, so waiting means running the event loop.
bool eventually(const std::function<bool()>& done, int deadlineMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < deadlineMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

bool closed(QTcpSocket& socket)
{
    return eventually([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
}

class LocalServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_main_app";
            static char* argv[] = { name, nullptr };
            static QCoreApplication app(argc, argv);
        }
    }

    // A client connected to the server, with the server's side already accepted.
    std::unique_ptr<QTcpSocket> connectClient(LocalServer& server)
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(client->waitForConnected(5000));
        QCoreApplication::processEvents();
        return client;
    }

    static void send(QTcpSocket& client, const QByteArray& bytes)
    {
        client.write(bytes);
        client.flush();
        client.waitForBytesWritten(5000);
    }
};

TEST_F(LocalServerTest, FramesAreSplitAndJoinedAsSent)
{
    struct Case {
        const char* what;
        QList<QByteArray> writes;
        QStringList expected;
    };
    const QByteArray hello = frame("hello");
    const QByteArray chinese = frame(QString::fromUtf8("开始直播").toUtf8());
    const QList<Case> cases = {
        { "two frames in one write", { hello + frame("world") }, { "hello", "world" } },
        { "a frame split three ways", { chinese.left(2), chinese.mid(2, 6), chinese.mid(8) },
            { QString::fromUtf8("开始直播") } },
        { "an empty frame", { frame("") }, { "" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LocalServer server;
        ASSERT_TRUE(server.listen(0));
        QSignalSpy messages(&server, &LocalServer::message);
        auto client = connectClient(server);
        for (const QByteArray& bytes : c.writes) {
            send(*client, bytes);
            QCoreApplication::processEvents();
        }
        eventually([&] { return messages.count() >= c.expected.size(); });
        QStringList got;
        for (const QList<QVariant>& args : messages)
            got << args.at(0).toString();
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(LocalServerTest, OversizeLengthClosesThatConnectionOnly)
{
    for (quint32 length : { quint32(LocalSocket::kMaxFrameLength + 1), 0xFFFFFFFFu }) {
        SCOPED_TRACE(length);
        LocalServer server;
        ASSERT_TRUE(server.listen(0));
        QSignalSpy messages(&server, &LocalServer::message);
        auto other = connectClient(server);
        auto bad = connectClient(server);
        char header[4];
        qToLittleEndian<quint32>(length, header);
        send(*bad, QByteArray(header, 4) + "xyz");
        EXPECT_TRUE(closed(*bad));
        send(*other, frame("still here"));
        ASSERT_TRUE(eventually([&] { return !messages.isEmpty(); }));
        ASSERT_EQ(messages.count(), 1);
        EXPECT_EQ(messages.at(0).at(0).toString(), "still here");
    }
}

TEST_F(LocalServerTest, ListensOnTheLoopbackAddressOnly)
{
    LocalServer server;
    ASSERT_TRUE(server.listen(0));
    // 127.0.0.2 is this machine too, but not the address the server is bound to.
    QTcpSocket other;
    other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), server.serverPort());
    EXPECT_FALSE(other.waitForConnected(2000));
    auto client = connectClient(server);
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);
}

TEST_F(LocalServerTest, BufferGrowsInWholeBlocks)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    ASSERT_TRUE(client.waitForConnected(5000));
    ASSERT_TRUE(listener.waitForNewConnection(5000));
    LocalSocket socket(listener.nextPendingConnection());
    QSignalSpy messages(&socket, &LocalSocket::message);

    send(client, frame(QByteArray(5000, 'a')));
    eventually([&] { return !messages.isEmpty(); });
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.at(0).at(0).toString().size(), 5000);
    EXPECT_EQ(socket.blocks(), 2);
}

TEST_F(LocalServerTest, AllClientDisconnectedOnlyAfterTheLastPeer)
{
    LocalServer server;
    ASSERT_TRUE(server.listen(0));
    QSignalSpy allGone(&server, &LocalServer::allClientDisconnected);
    auto first = connectClient(server);
    auto second = connectClient(server);

    first->disconnectFromHost();
    ASSERT_TRUE(closed(*first));
    QCoreApplication::processEvents();
    EXPECT_EQ(allGone.count(), 0) << "one peer is still connected";
    second->disconnectFromHost();
    EXPECT_TRUE(eventually([&] { return allGone.count() == 1; }));
    EXPECT_EQ(allGone.count(), 1);
}

TEST_F(LocalServerTest, ListenReplacesAndDestructionClosesPeers)
{
    auto server = std::make_unique<LocalServer>();
    ASSERT_TRUE(server->listen(0));
    const quint16 firstPort = server->serverPort();
    ASSERT_TRUE(server->listen(0));
    EXPECT_NE(server->serverPort(), firstPort);

    QTcpSocket stale;
    stale.connectToHost(QHostAddress::LocalHost, firstPort);
    EXPECT_FALSE(stale.waitForConnected(2000)) << "the replaced server must no longer listen";

    auto peer = connectClient(*server);
    server.reset();
    EXPECT_TRUE(closed(*peer));
}

TEST_F(LocalServerTest, BroadcastReachesEveryPeerAsOneFrame)
{
    LocalServer server;
    ASSERT_TRUE(server.listen(0));
    server.broadcast("nobody listens yet");
    auto first = connectClient(server);
    auto second = connectClient(server);
    const QString text = QString::fromUtf8("{\"type\":\"hide\"} 隐藏");
    server.broadcast(text);
    const QByteArray expected = frame(text.toUtf8());
    for (QTcpSocket* client : { first.get(), second.get() }) {
        ASSERT_TRUE(eventually([&] { return client->bytesAvailable() >= expected.size(); }));
        EXPECT_EQ(client->readAll(), expected);
    }
}

} // namespace
