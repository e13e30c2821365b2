// The push's SDP exchange against the local service: whatever the service answers, the exchange reports
// an outcome and never throws.
#include "pushsignalling.h"

#include <devservice/service.h>

#include <QByteArray>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string nested(int depth) { return std::string(size_t(depth), '[') + std::string(size_t(depth), ']'); }

class PushSignalling : public ::testing::Test {
protected:
    static constexpr char kPath[] = "/push/sdp";

    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route route;
        route.signedBody = false;
        service->addRoute(kPath, route);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }
    void TearDown() override { service->stop(); }

    pushsignalling::Outcome exchangeWith(std::string body)
    {
        devservice::ScriptedReply reply;
        reply.rawBody = std::move(body);
        service->script(kPath, reply);
        const std::string url = "webrtc://127.0.0.1:" + std::to_string(service->port()) + kPath;
        return pushsignalling::exchange(url, "token", "v=0\r\n", nullptr, 5000);
    }

    std::unique_ptr<devservice::Service> service;
};

TEST_F(PushSignalling, EveryUnreadableReplyIsTheExchangesFailure)
{
    const std::string sdp = QByteArray("v=0 answer").toBase64().toStdString();
    const struct {
        const char* name;
        std::string body;
    } cases[] = {
        { "error code out of range", R"({"errcode":1e19,"result":{"sdp":")" + sdp + R"(","id":1}})" },
        { "error code that is no number", R"({"errcode":"0","result":{"sdp":")" + sdp + R"(","id":1}})" },
        { "cipher flag out of range",
            R"({"errcode":0,"encrypt":4294967296,"result":{"sdp":")" + sdp + R"(","id":1}})" },
        { "enciphered", R"({"errcode":0,"encrypt":1,"result":"abc"})" },
        { "stream id out of range", R"({"errcode":0,"result":{"sdp":")" + sdp + R"(","id":1e19}})" },
        { "stream id that is no integer", R"({"errcode":0,"result":{"sdp":")" + sdp + R"(","id":1.5}})" },
        { "answer that is no text", R"({"errcode":0,"result":{"sdp":{},"id":1}})" },
        { "answer that is no base64", R"({"errcode":0,"result":{"sdp":"%%%","id":1}})" },
        { "reply nested too deep",
            R"({"errcode":0,"result":{"sdp":")" + sdp + R"(","id":1,"x":)" + nested(1001) + "}}" },
        { "not an object", "[1]" },
        { "not JSON", "{\"errcode\":" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const pushsignalling::Outcome outcome = exchangeWith(c.body);
        EXPECT_FALSE(outcome.ok);
        EXPECT_FALSE(outcome.error.empty());
        EXPECT_TRUE(outcome.answer.empty());
    }

    // Both shapes of a good reply still read, with 64-bit stream ids.
    for (const std::string& body :
        { R"({"errcode":0,"encrypt":0,"result":{"sdp":")" + sdp + R"(","id":9007199254740993}})",
            R"({"sdp":")" + sdp + R"(","id":9007199254740993})" }) {
        SCOPED_TRACE(body);
        const pushsignalling::Outcome outcome = exchangeWith(body);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.answer, "v=0 answer");
        EXPECT_EQ(outcome.id, 9007199254740993);
    }
}

} // namespace
