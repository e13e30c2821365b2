#include <korvex/zovnet.h>

#include <devservice/service.h>

#include "support/free_port.h"
#include "support/scoped_env.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

using devservice::ScriptedReply;
using Zov_Client::ZovNet;
using Zov_Client::ZovResponse;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The local service with "/echo", which answers with the request body as its result. Plain HTTP unless a
// test needs TLS (a TLS exchange is slow under the sanitizers); over HTTPS the client trusts the service's
// authority through TAVICAST_CA_FILE.
class ZovNetTest : public ::testing::Test {
protected:
    void SetUp() override { start(false); }

    void start(bool https)
    {
        devservice::Service::Options options;
        options.https = https;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route echo;
        echo.signedBody = false;
        echo.handler = [](const devservice::RecordedRequest& r) { return ScriptedReply::success(r.body); };
        service->addRoute("/echo", echo);
        service->addRoute("/slow", echo);
        service->addRoute("/drop", echo);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        trust.emplace("TAVICAST_CA_FILE", service->caFile());
    }

    std::optional<ScopedEnv> trust;
    std::unique_ptr<devservice::Service> service;
};

class ZovNetTlsTest : public ZovNetTest {
protected:
    void SetUp() override { start(true); }
};

} // namespace

TEST_F(ZovNetTlsTest, PostsBodyAndHeadersOverVerifiedTls)
{
    ZovNet client(service->baseUrl());
    client.appendHeader("X-One", "1");
    client.appendHeader("Content-Type", "application/json");
    const std::string body
        = "{\"a\": \"\xe4\xb8\xad\"}" + std::string(3000, ' '); // above curl's Expect threshold
    const ZovResponse response = client.post("/echo?x=1", body);

    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_NE(response.body.find("\"result\""), std::string::npos);
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/echo");
    EXPECT_EQ(requests[0].query, "x=1");
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[0].header("x-one"), "1");
    EXPECT_EQ(requests[0].header("content-type"), "application/json");
    EXPECT_EQ(requests[0].header("expect"), "");
}

TEST_F(ZovNetTest, HttpStatusAndBodyPassThrough)
{
    ScriptedReply notFound;
    notFound.status = 404;
    notFound.rawBody = "gone";
    service->script("/echo", notFound);

    const ZovResponse response = ZovNet(service->baseUrl()).post("/echo", "{}");
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, "gone");
}

// Failures without an HTTP exchange report libcurl's code, always above 0, with a readable text.
TEST_F(ZovNetTest, TransferFailuresReportTheirCode)
{
    ScriptedReply slow = ScriptedReply::success();
    slow.delayMs = 10000;
    ScriptedReply dropped;
    dropped.drop = true;

    const struct {
        const char* name;
        std::function<ZovResponse()> run;
        std::vector<int> codes;
    } cases[] = {
        { "refused",
            [] {
                return ZovNet("http://127.0.0.1:" + std::to_string(closedLoopbackPort())).post("/echo", "{}");
            },
            { 7 } },
        { "time-out",
            [&] {
                service->script("/slow", slow);
                ZovNet client(service->baseUrl());
                client.setTimeoutMs(1000);
                return client.post("/slow", "{}");
            },
            { 28 } },
        { "dropped",
            [&] {
                service->script("/drop", dropped);
                return ZovNet(service->baseUrl()).post("/drop", "{}");
            },
            { 52, 56 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ZovResponse response = c.run();
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), response.status), c.codes.end())
            << response.status;
        EXPECT_FALSE(response.body.empty());
    }
}

// Verification is on by default; the authority of TAVICAST_CA_FILE is trusted besides the system's.
TEST_F(ZovNetTlsTest, CertificateTrust)
{
    {
        ScopedEnv noTrust("TAVICAST_CA_FILE", std::nullopt);
        const ZovResponse response = ZovNet(service->baseUrl()).post("/echo", "{}");
        EXPECT_EQ(response.status, 60);
        EXPECT_FALSE(response.body.empty());
    }
    {
        ScopedEnv badTrust("TAVICAST_CA_FILE", std::string("/nonexistent/ca.pem"));
        EXPECT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 60);
    }
    ScopedEnv noTrust("TAVICAST_CA_FILE", std::nullopt);
    ZovNet client(service->baseUrl());
    client.setVerifyPeer(false);
    client.setVerifyHost(false);
    EXPECT_EQ(client.post("/echo", "{}").status, 200);
}

TEST_F(ZovNetTest, DownloadReplacesTheFileOnlyOnSuccess)
{
    QTemporaryDir dir;
    const std::string target = dir.filePath("file.json").toStdString();
    std::ofstream(target) << "old";

    ScriptedReply missing;
    missing.status = 404;
    missing.rawBody = "none";
    service->script("/echo", missing);
    ZovNet client(service->baseUrl());
    EXPECT_EQ(client.download("/echo", target).status, 404);
    EXPECT_EQ(readFile(target), "old");

    ScriptedReply file;
    file.rawBody = std::string("\0\1binary", 8);
    service->script("/echo", file);
    const ZovResponse response = client.download("/echo", target);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(readFile(target), std::string("\0\1binary", 8));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left behind

    ScriptedReply partial;
    partial.status = 206;
    partial.rawBody = "whole";
    service->script("/echo", partial);
    EXPECT_EQ(client.download("/echo", target).status, 206);
    EXPECT_EQ(readFile(target), "whole");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    EXPECT_EQ(service->requests().back().method, "GET");
}

TEST_F(ZovNetTest, BodiesBeyondTheBoundFailInMemoryAndOnDisk)
{
    QTemporaryDir dir;
    const std::string target = dir.filePath("file.bin").toStdString();
    std::ofstream(target) << "old";

    ScriptedReply huge;
    huge.rawBody = std::string(static_cast<size_t>(Zov_Client::kMaxBodyBytes) + 1, 'x');
    service->script("/echo", huge);
    service->script("/echo", huge);
    ZovNet client(service->baseUrl());
    EXPECT_EQ(client.post("/echo", "{}").status, 23);
    EXPECT_EQ(client.download("/echo", target).status, 23);
    EXPECT_TRUE(readFile(target) == "old") << "the old file stays"; // no 32 MiB text in a failure
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left behind
}

TEST_F(ZovNetTest, SeparateClientsWorkFromManyThreads)
{
    std::vector<std::thread> threads;
    std::atomic<int> successes { 0 };
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const std::string body = std::to_string(t * 100 + i);
                const ZovResponse response = ZovNet(service->baseUrl()).post("/echo", body);
                if (response.status == 200 && response.body.find("\"" + body + "\"") != std::string::npos)
                    ++successes;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(successes, 20);
    EXPECT_EQ(service->requests().size(), 20u);
}

// A service restarted with a new authority written to the same file is trusted at once.
TEST(ZovNetTrust, FollowsTheCaFileWhenItIsRewritten)
{
    QTemporaryDir dir;
    const std::string caFile = dir.filePath("ca.pem").toStdString();
    ScopedEnv trust("TAVICAST_CA_FILE", caFile);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        devservice::Service::Options options;
        options.caFile = caFile;
        devservice::Service service(options);
        devservice::Route echo;
        echo.signedBody = false;
        service.addRoute("/echo", echo);
        std::string error;
        ASSERT_TRUE(service.start(&error)) << error;
        EXPECT_EQ(ZovNet(service.baseUrl()).post("/echo", "{}").status, 200);
    }
}

// A thread's requests to one service share a connection, whichever client object makes them; another thread
// has its own. Over TLS, the connection stays verified: a client that trusts nothing still fails.
TEST_F(ZovNetTlsTest, RequestsOfAThreadReuseItsConnection)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200);
    std::thread([this] { EXPECT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200); }).join();

    const std::vector<devservice::RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].connection, requests[0].connection);
    EXPECT_EQ(requests[2].connection, requests[0].connection);
    EXPECT_NE(requests[3].connection, requests[0].connection);

    ZovNet unverified(service->baseUrl());
    unverified.setVerifyPeer(false);
    EXPECT_EQ(unverified.post("/echo", "{}").status, 200);
    EXPECT_NE(service->requests().back().connection, requests[0].connection);
}

// A connection verified under one authority is not used again once the trust names another: the request
// connects anew and is verified against the new trust, so it fails.
TEST_F(ZovNetTlsTest, AChangedTrustIsNotBypassedByAReusedConnection)
{
    ASSERT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200);
    devservice::Service other;
    std::string error;
    ASSERT_TRUE(other.start(&error)) << error;
    {
        ScopedEnv otherTrust("TAVICAST_CA_FILE", other.caFile());
        EXPECT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 60);
    }
    EXPECT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200);
    EXPECT_EQ(service->requests().size(), 2u);
}

// A connection the service closed (it stopped) is not used again: the next request connects anew.
TEST_F(ZovNetTest, AClosedConnectionIsReplaced)
{
    ASSERT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200);
    devservice::Service::Options options;
    options.https = false;
    options.port = service->port();
    service.reset();
    service = std::make_unique<devservice::Service>(options);
    devservice::Route echo;
    echo.signedBody = false;
    service->addRoute("/echo", echo);
    std::string error;
    ASSERT_TRUE(service->start(&error)) << error;
    EXPECT_EQ(ZovNet(service->baseUrl()).post("/echo", "{}").status, 200);
}
