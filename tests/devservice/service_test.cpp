#include <devservice/httpserver.h>
#include <devservice/requestverifier.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include "support/openssl_exit.h"
#include "support/scoped_env.h"

#include <korvex/zovnet.h>

#include <json/reader.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using devservice::RecordedRequest;
using devservice::Route;
using devservice::ScriptedReply;
using devservice::Service;
namespace wire = devservice::wire;

namespace {

constexpr char kKey[] = "norvo.zq_&^%*_84";

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

// A body signed the way the service expects it, built with the service's own helpers.
Json::Value signedBody()
{
    Json::Value body = parse(R"({"title": "t", "req_time": 1700000000, "platform": 1, "platform_type": 1,
        "client": "desktop", "app_version": "1.0.0", "app_name": "Tavimeet"})");
    body[wire::kSignature] = devservice::md5Hex(devservice::signatureText(body));
    return body;
}

std::string envelope(const std::string& plain, const std::string& key, int version = 200)
{
    Json::Value object;
    object[wire::kEnvelopeCipher] = devservice::aesEncrypt(plain, key);
    object[wire::kEnvelopeVersion] = version;
    return object.toStyledString();
}

// Plain HTTP unless a test needs TLS: a TLS exchange is slow under the sanitizers.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { start(false); }

    void start(bool https)
    {
        Service::Options options;
        options.https = https;
        service = std::make_unique<Service>(options);
        Route wrapped;
        wrapped.aesKey = kKey;
        wrapped.envelope = true;
        service->addRoute("/wrapped", wrapped);
        Route plain;
        plain.aesKey = kKey;
        service->addRoute("/plain", plain);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        trust.emplace("TAVICAST_CA_FILE", service->caFile());
    }

    Zov_Client::ZovResponse post(const std::string& path, const std::string& body)
    {
        return Zov_Client::ZovNet(service->baseUrl()).post(path, body);
    }

    std::optional<ScopedEnv> trust;
    std::unique_ptr<Service> service;
};

class ServiceTransportTest : public ServiceTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override { start(GetParam()); }
};

} // namespace

TEST_P(ServiceTransportTest, DecodesEnvelopeAndChecksSignature)
{
    const std::string body = signedBody().toStyledString();
    const Zov_Client::ZovResponse response = post("/wrapped?q=1", envelope(body, kKey, 100));
    ASSERT_EQ(response.status, 200) << response.body;
    const Json::Value reply = parse(response.body);
    EXPECT_EQ(reply[wire::kReplyCode], 0);

    const RecordedRequest r = service->requests().at(0);
    EXPECT_EQ(r.path, "/wrapped");
    EXPECT_EQ(r.query, "q=1");
    EXPECT_TRUE(r.enveloped);
    EXPECT_EQ(r.envelopeVersion, 100);
    EXPECT_EQ(r.plainBody, body);
    EXPECT_TRUE(r.signatureValid) << r.problem;
    EXPECT_TRUE(r.members[wire::kSignTime].isIntegral());
    EXPECT_TRUE(r.members["title"].isString());
}

// Requests the service cannot accept are recorded with the reason and answered with a refusal.
TEST_F(ServiceTest, RefusesWhatItCannotVerify)
{
    Json::Value badlySigned = signedBody();
    badlySigned["title"] = "changed";
    const struct {
        const char* name;
        std::string path;
        std::string body;
    } cases[] = {
        { "not an envelope", "/wrapped", signedBody().toStyledString() },
        { "wrong key", "/wrapped", envelope(signedBody().toStyledString(), "norvo.zq_7&^%_51") },
        { "bad signature", "/plain", badlySigned.toStyledString() },
        { "not JSON", "/plain", "title=t" },
        // Deeper than the JSON reader goes: refused, and the service keeps serving.
        { "nested too deep", "/plain", std::string(5000, '[') + std::string(5000, ']') },
        { "envelope nested too deep", "/wrapped", std::string(5000, '[') },
        { "nested too deep in an envelope", "/wrapped",
            envelope(std::string(5000, '[') + std::string(5000, ']'), kKey, 100) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service->clearRequests();
        const Zov_Client::ZovResponse response = post(c.path, c.body);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(parse(response.body)[wire::kReplyCode], Service::kRefusedCode);
        ASSERT_EQ(service->requests().size(), 1u);
        EXPECT_FALSE(service->requests()[0].problem.empty());
        EXPECT_FALSE(service->requests()[0].signatureValid);
    }

    const Zov_Client::ZovResponse unknown = post("/nowhere", "{}");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(service->requests().back().path, "/nowhere");
}

TEST_F(ServiceTest, ScriptedRepliesAreUsedOnceInOrder)
{
    ScriptedReply wrapped = ScriptedReply::success(parse(R"({"a": 1})"));
    wrapped.encrypt = true;
    service->script("/plain", wrapped);
    service->script("/plain", ScriptedReply::failure(7, "seven"));
    const std::string body = signedBody().toStyledString();

    const Json::Value first = parse(post("/plain", body).body);
    EXPECT_EQ(first[wire::kReplyEncrypted], 1);
    EXPECT_EQ(devservice::aesDecrypt(first[wire::kReplyData].asString(), kKey).value_or(""), "{\"a\":1}");
    const Json::Value second = parse(post("/plain", body).body);
    EXPECT_EQ(second[wire::kReplyCode], 7);
    EXPECT_EQ(second[wire::kReplyMessage], "seven");
    const Json::Value third = parse(post("/plain", body).body);
    EXPECT_EQ(third[wire::kReplyCode], 0);
    EXPECT_EQ(third[wire::kReplyEncrypted], 0);
}

TEST_F(ServiceTest, BoundsTheRequestBody)
{
    const std::string huge(devservice::HttpServer::kMaxBodyBytes + 1, 'x');
    const Zov_Client::ZovResponse response = post("/plain", huge);
    // The service answers before reading the body; the client sees the refusal or a reset connection.
    EXPECT_TRUE(response.status == 413 || response.status == 55 || response.status == 56) << response.status;
}

INSTANTIATE_TEST_SUITE_P(Transports, ServiceTransportTest, ::testing::Values(true, false),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Https" : "Http"; });

namespace {

// A plain HTTP request with a signed body for "/plain", marked by its query.
QByteArray rawRequest(int mark, const char* extraHeader = "")
{
    const std::string body = signedBody().toStyledString();
    return QByteArray::fromStdString("POST /plain?n=" + std::to_string(mark)
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeader + "Content-Length: " + std::to_string(body.size())
        + "\r\n\r\n" + body);
}

// Reads whole replies (head and Content-Length body) from the socket until `count` have arrived.
std::vector<QByteArray> readReplies(QTcpSocket& socket, int count)
{
    std::vector<QByteArray> replies;
    QByteArray buffer;
    while (int(replies.size()) < count) {
        const int end = buffer.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = buffer.left(end);
            const int at = head.toLower().indexOf("content-length: ");
            const int length = head.mid(at + 16, head.indexOf("\r\n", at) - at - 16).toInt();
            if (buffer.size() >= end + 4 + length) {
                replies.push_back(buffer.left(end + 4 + length));
                buffer.remove(0, end + 4 + length);
                continue;
            }
        }
        if (!socket.waitForReadyRead(10000))
            break;
        buffer += socket.readAll();
    }
    return replies;
}

} // namespace

// Requests on one connection are answered in order on that connection, pipelined or not, until the client
// asks to close it.
TEST_F(ServiceTest, KeepsTheConnectionAlive)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service->port());
    ASSERT_TRUE(socket.waitForConnected(10000));

    socket.write(rawRequest(1));
    ASSERT_EQ(readReplies(socket, 1).size(), 1u);
    socket.write(rawRequest(2) + rawRequest(3));
    const std::vector<QByteArray> pipelined = readReplies(socket, 2);
    ASSERT_EQ(pipelined.size(), 2u);
    EXPECT_TRUE(pipelined[0].startsWith("HTTP/1.1 200")) << pipelined[0].toStdString();
    EXPECT_TRUE(pipelined[0].toLower().contains("connection: keep-alive"));

    socket.write(rawRequest(4, "Connection: close\r\n"));
    const std::vector<QByteArray> last = readReplies(socket, 1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_TRUE(last[0].toLower().contains("connection: close"));
    EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(10000));

    const std::vector<RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(requests[i].query, "n=" + std::to_string(i + 1));
        EXPECT_EQ(requests[i].connection, requests[0].connection);
        EXPECT_TRUE(requests[i].signatureValid) << requests[i].problem;
    }
    EXPECT_NE(requests[0].connection, 0u);
}

// A client that sends a request on a kept-alive connection and then shuts its sending side (as `nc -N` does)
// still reads the reply before the connection goes.
TEST_F(ServiceTest, AnswersAClientThatClosedItsSendingSide)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(service->port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const QByteArray request = rawRequest(1);
    ASSERT_EQ(::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL), ssize_t(request.size()));
    ASSERT_EQ(::shutdown(fd, SHUT_WR), 0);

    std::string reply;
    char chunk[4096];
    for (;;) {
        pollfd readable { fd, POLLIN, 0 };
        if (::poll(&readable, 1, 10000) <= 0)
            break;
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        reply.append(chunk, size_t(got));
    }
    ::close(fd);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 ", 0), 0u) << reply;
    EXPECT_NE(reply.find("\"errcode\":0"), std::string::npos) << reply;
    ASSERT_EQ(service->requests().size(), 1u);
}

TEST_F(ServiceTest, KeepsOnlyTheNewestRequests)
{
    const std::string body = signedBody().toStyledString();
    for (int i = 0; i < 3; ++i)
        post("/plain?n=" + std::to_string(i), body);
    service->setRecordLimit(2);
    ASSERT_EQ(service->requests().size(), 2u);
    EXPECT_EQ(service->requests()[0].query, "n=1");

    for (int i = 3; i < 6; ++i)
        post("/plain?n=" + std::to_string(i), body);
    const std::vector<RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].query, "n=4");
    EXPECT_EQ(requests[1].query, "n=5");

    service->setRecordLimit(0);
    post("/plain", body);
    EXPECT_TRUE(service->requests().empty());
}

// Each handler below waits until all of them run: served one at a time, the first would wait in vain.
TEST_F(ServiceTest, ServesConnectionsConcurrently)
{
    constexpr int kClients = 3;
    std::mutex mutex;
    std::condition_variable arrived;
    int running = 0;
    Route meet;
    meet.signedBody = false;
    meet.handler = [&](const RecordedRequest&) {
        std::unique_lock<std::mutex> lock(mutex);
        ++running;
        arrived.notify_all();
        const bool all
            = arrived.wait_for(lock, std::chrono::seconds(20), [&] { return running >= kClients; });
        return all ? ScriptedReply::success() : ScriptedReply::failure(1, "served one at a time");
    };
    service->addRoute("/meet", meet);

    std::vector<std::future<Zov_Client::ZovResponse>> replies;
    for (int i = 0; i < kClients; ++i)
        replies.push_back(std::async(std::launch::async, [this] { return post("/meet", "{}"); }));
    for (auto& reply : replies) {
        const Zov_Client::ZovResponse response = reply.get();
        ASSERT_EQ(response.status, 200) << response.body;
        EXPECT_EQ(parse(response.body)[wire::kReplyCode], 0) << response.body;
    }
}

// A request the take-over wants leaves with its socket unread, to the owner's thread.
TEST_F(ServiceTest, HandsAConnectionOverUnread)
{
    QObject owner;
    QByteArray taken;
    QThread* takenIn = nullptr;
    devservice::HttpServer server([](const devservice::HttpRequest&) { return devservice::HttpReply(); });
    devservice::HttpServer::TakeOver takeOver;
    takeOver.wants = [](const devservice::HttpRequest& r) { return r.header("upgrade") == "test"; };
    takeOver.owner = &owner;
    takeOver.take = [&](QTcpSocket* socket, const devservice::HttpRequest&) {
        takenIn = QThread::currentThread();
        taken = socket->readAll();
        socket->write("HTTP/1.1 101 Switching Protocols\r\n\r\n");
        socket->flush();
        socket->deleteLater();
    };
    server.setTakeOver(takeOver);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(10000));
    const QByteArray request = "GET /chat HTTP/1.1\r\nUpgrade: test\r\nConnection: Upgrade\r\n\r\nrest";
    client.write(request);
    QDeadlineTimer deadline(20000);
    while (taken.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(takenIn, owner.thread());
    EXPECT_EQ(taken, request);
}

// A handler that throws is answered 500 on that request, and the connection goes on to the next one.
TEST_F(ServiceTest, AServerWhoseHandlerThrowsAnswers500)
{
    devservice::HttpServer server([](const devservice::HttpRequest& request) -> devservice::HttpReply {
        if (request.query == "n=1")
            throw std::runtime_error("handler failed");
        return { 200, "fine", "text/plain", 0, false };
    });
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(10000));
    client.write(rawRequest(1) + rawRequest(2));
    QDeadlineTimer deadline(20000);
    QByteArray buffer;
    while (buffer.count("HTTP/1.1 ") < 2 || !buffer.endsWith("fine")) {
        if (deadline.hasExpired())
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        buffer += client.readAll();
    }
    EXPECT_TRUE(buffer.startsWith("HTTP/1.1 500 ")) << buffer.toStdString();
    EXPECT_TRUE(buffer.contains("HTTP/1.1 200 OK")) << buffer.toStdString();
    EXPECT_TRUE(buffer.endsWith("fine")) << buffer.toStdString();
}

// The forwarder's streaming threads use OpenSSL and can end while the service exits; OpenSSL's own exit
// handler would free their state a second time. The service's process has none, also once libcurl or Qt
// starts OpenSSL later.
TEST(ServiceProcessDeathTest, OpenSslHasNoExitHandler)
{
    EXPECT_EXIT(openssltest::startOpenSslAndExit(), testing::ExitedWithCode(0), openssltest::noCleanUpAtExit());
}
