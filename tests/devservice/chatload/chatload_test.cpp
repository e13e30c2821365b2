// The chat rooms of the service program under load, and the load's own checks against a faulty room.
#include "support/chat_load.h"

#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// 200 members, 20 of them talking, 50 texts a second for 5 seconds: every member gets every text once,
// each sender's in order.
TEST(ChatRoomLoad, EveryMemberGetsEveryTextOnceInOrder)
{
    support::ChildProgram service;
    std::string base;
    std::string error;
    ASSERT_TRUE(service.start(DEVSERVICE_PROGRAM, { "--http" }, "base URL: ", base, error)) << error;

    chatload::Options options; // 200 members, 20 senders, 50 texts/s, 5 s
    // Under the sanitizers, with full unwinding at every allocation, both sides fall far behind the load:
    // what is checked here is that every text arrives, not how soon.
    options.drainTimeoutMs = 150000;
    std::vector<QUrl> urls;
    ASSERT_TRUE(chatload::joinRoom(base, options.members, urls, error)) << error;
    const chatload::Result result = chatload::run(options, urls);

    ASSERT_TRUE(result.connected) << result.error;
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.sent, 250);
    EXPECT_EQ(result.expected, 250 * 200);
    EXPECT_EQ(result.lost(), 0);
    EXPECT_EQ(result.duplicates, 0);
    EXPECT_EQ(result.outOfOrder, 0);
    EXPECT_EQ(result.foreign, 0);
    std::printf("delivery latency: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", result.p50Ms, result.p99Ms,
        result.maxMs);
    EXPECT_EQ(service.stop(), 0) << "the service ends cleanly after the load";
}

// A room that loses, repeats and swaps texts: the load counts each fault where it happened.
class FaultyRoom : public QObject {
public:
    FaultyRoom()
        : m_server("faulty", QWebSocketServer::NonSecureMode, this)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                m_sockets.push_back(socket);
                connect(socket, &QWebSocket::textMessageReceived, this,
                    [this](const QString& frame) { onText(frame); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    // Text 3 never reaches member 0, text 5 reaches member 1 twice, and texts 6 and 7 reach member 2
    // swapped; member 0 also gets a text that no sender of the load sent. The room's other events in between
    // are ignored by the load.
    void onText(const QString& frame)
    {
        const int n = m_count++;
        for (size_t i = 0; i < m_sockets.size(); ++i) {
            QWebSocket* to = m_sockets[i];
            to->sendTextMessage(QStringLiteral("{\"event\":\"joined\",\"peer\":{}}"));
            if (n == 2 && i == 0)
                to->sendTextMessage(
                    QStringLiteral("{\"event\":\"text\",\"from\":{},\"text\":\"hi \\\"you\\\"\"}"));
            if (n == 3 && i == 0)
                continue;
            if (n == 6 && i == 2) {
                m_held = frame;
                continue;
            }
            to->sendTextMessage(frame);
            if (n == 5 && i == 1)
                to->sendTextMessage(frame);
            if (n == 7 && i == 2)
                to->sendTextMessage(m_held);
        }
    }

    QWebSocketServer m_server;
    std::vector<QWebSocket*> m_sockets;
    QString m_held;
    int m_count = 0;
};

TEST(ChatRoomLoad, CountsLostRepeatedAndSwappedTexts)
{
    auto room = std::make_unique<FaultyRoom>();
    QThread thread;
    room->moveToThread(&thread);
    thread.start();

    chatload::Options options;
    options.members = 3;
    options.senders = 1;
    options.rate = 20;
    options.seconds = 0.5; // ten texts, one at a time
    options.threads = 2;
    options.drainTimeoutMs = 2000;
    const std::vector<QUrl> urls(3, QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(room->port())));
    const chatload::Result result = chatload::run(options, urls);

    QMetaObject::invokeMethod(
        room.get(), [&] { room.reset(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();

    ASSERT_TRUE(result.connected) << result.error;
    EXPECT_EQ(result.sent, 10);
    EXPECT_EQ(result.expected, 30);
    EXPECT_EQ(result.lost(), 1);
    EXPECT_EQ(result.duplicates, 1);
    EXPECT_EQ(result.outOfOrder, 1);
    EXPECT_EQ(result.foreign, 1);
}

} // namespace
