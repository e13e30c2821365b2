// The static chunked download the QR picture and the avatar use.
#include <korvex/zovnet.h>

#include <devservice/service.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using devservice::ScriptedReply;
using Zov_Client::ZovNet;

namespace {

struct Received {
    std::string bytes;
    int chunks = 0;
    size_t refuseAfter = std::string::npos;
};

size_t receive(const char* data, size_t size, size_t count, ZovNet::DownCb* record)
{
    auto* received = static_cast<Received*>(record->user);
    if (received->bytes.size() >= received->refuseAfter)
        return 0;
    received->bytes.append(data, size * count);
    ++received->chunks;
    return size * count;
}

class ZovNetDownLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route picture;
        picture.signedBody = false;
        service->addRoute("/picture", picture);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        url = service->baseUrl() + "/picture";
    }

    int fetch(const ScriptedReply& reply, Received& received, long long maxBytes = 0, long long timeoutMs = 0)
    {
        service->script("/picture", reply);
        ZovNet::DownCb record;
        record.receive = &receive;
        record.user = &received;
        return ZovNet::downLoad(url, &record, maxBytes, timeoutMs).status;
    }

    std::unique_ptr<devservice::Service> service;
    std::string url;
};

ScriptedReply body(std::string text, int status = 200, int delayMs = 0)
{
    ScriptedReply reply;
    reply.rawBody = std::move(text);
    reply.status = status;
    reply.delayMs = delayMs;
    return reply;
}

TEST_F(ZovNetDownLoadTest, EveryByteReachesTheReceiverInOrder)
{
    std::string picture(100 * 1024 + 7, '\0');
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = char(i * 31 % 251);
    Received received;
    EXPECT_EQ(fetch(body(picture), received), 200);
    EXPECT_EQ(received.bytes, picture);
    EXPECT_GT(received.chunks, 1);
    EXPECT_EQ(service->requests().back().method, "GET");
}

TEST_F(ZovNetDownLoadTest, FailuresReportTheirCode)
{
    const struct {
        const char* what;
        ScriptedReply reply;
        long long maxBytes;
        long long timeoutMs;
        size_t refuseAfter;
        int status;
    } cases[] = {
        { "not found", body("none", 404), 0, 0, std::string::npos, 404 },
        { "above the cap", body(std::string(2048, 'x')), 1024, 0, std::string::npos, 23 },
        { "receiver refuses", body(std::string(64 * 1024, 'x')), 0, 0, 1, 23 },
        { "time-out", body("late", 200, 2000), 0, 200, std::string::npos, 28 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Received received;
        received.refuseAfter = c.refuseAfter;
        EXPECT_EQ(fetch(c.reply, received, c.maxBytes, c.timeoutMs), c.status);
        if (c.status == 23 && c.refuseAfter == std::string::npos) {
            EXPECT_TRUE(received.bytes.empty());
        }
    }
    ZovNet::DownCb record;
    EXPECT_EQ(ZovNet::downLoad("ftp://127.0.0.1/x", &record, 0, 1000).status, 1); // unsupported protocol
}

} // namespace
