#include "base/basenet.h"

#include "memvia/memvia_fixture.h"

#include "support/free_port.h"
#include "support/scoped_env.h"

#include <devservice/requestverifier.h>

namespace {

constexpr char kPath[] = "/rules";
constexpr char kKey[] = "norvo.zq_&^%*_84";

std::string compactJson(const Json::Value& value)
{
    Json::FastWriter writer;
    writer.omitEndingLineFeed();
    return writer.write(value);
}

std::string replyText(int encrypt, int version, const std::string& result)
{
    Json::Value reply(Json::objectValue);
    reply["errcode"] = 0;
    reply["errmsg"] = "ok";
    reply["encrypt"] = encrypt;
    reply["version"] = version;
    reply["result"] = result;
    return compactJson(reply);
}

devservice::ScriptedReply raw(const std::string& body, int status = 200)
{
    devservice::ScriptedReply reply;
    reply.status = status;
    reply.rawBody = body;
    return reply;
}

struct ReplyCase {
    const char* name;
    devservice::ScriptedReply reply;
    int errcode;
    std::string errmsg;
    std::string result;
};

// The request engine against a route of the local service that opens the membership envelope.
class RequestEngine : public MembershipFixture {
protected:
    void SetUp() override
    {
        MembershipFixture::SetUp();
        devservice::Route route;
        route.aesKey = kKey;
        route.envelope = true;
        route.signedBody = false;
        service->addRoute(kPath, route);
        url = service->baseUrl() + kPath;
    }
    void TearDown() override { BaseNet::setTimeoutMs(30000); }

    Completion post(const std::string& target, const std::string& token = std::string())
    {
        Completion completion;
        net.postAsync(target, BaseNet::makeBody(R"({"a": 1})"), completion.callback(), true, token);
        EXPECT_EQ(completion.calls, 0) << "the callback runs later, through the event loop";
        EXPECT_TRUE(completion.wait());
        return completion;
    }

    BaseNet net;
    std::string url;
};

} // namespace

TEST_F(RequestEngine, ReplyRules)
{
    const std::string upgrade = "服务已经升级，请升级到更高版本！";
    devservice::ScriptedReply wrongKey = devservice::ScriptedReply::success(Json::Value("{}"));
    wrongKey.encrypt = true;
    wrongKey.wrongKey = true;
    const ReplyCase cases[] = {
        { "404 with a page", raw("no such page", 404), -404, "no such page", "" },
        { "not JSON", raw("<html>busy</html>"), -10, "<html>busy</html>", "" },
        { "no errcode", raw(R"({"errmsg": "x", "result": "r"})"), -1, "x", "" },
        { "errcode as text", raw(R"({"errcode": "0", "result": "r"})"), -1, "", "" },
        { "JSON but no object", raw("[0]"), -1, "", "" },
        { "service error", devservice::ScriptedReply::failure(5, "five"), 5, "five", "" },
        { "enciphered, version 100", raw(replyText(1, 100, devservice::aesEncrypt(R"({"k":1})", kKey))), 0,
            "ok", R"({"k":1})" },
        { "enciphered, another version", raw(replyText(1, 200, devservice::aesEncrypt("{}", kKey))), -1,
            upgrade, "" },
        { "enciphered, no version",
            raw(R"({"errcode": 0, "encrypt": 1, "result": ")" + devservice::aesEncrypt("plain", kKey)
                + "\"}"),
            0, "", "plain" },
        { "plain result", raw(R"({"errcode": 0, "result": "x"})"), 0, "", "x" },
        { "plain, another version", raw(replyText(0, 200, "x")), 0, "ok", "x" },
        { "enciphered, empty result", raw(replyText(1, 100, "")), 0, "ok", "" },
        { "enciphered under a wrong key", wrongKey, -11, "服务器返回数据解密失败，请重试！", "" },
        { "enciphered text that is no cipher", raw(replyText(1, 100, "not base64!")), -11,
            "服务器返回数据解密失败，请重试！", "" },
    };
    for (const ReplyCase& row : cases) {
        SCOPED_TRACE(row.name);
        service->script(kPath, row.reply);
        const Completion completion = post(url);
        EXPECT_EQ(completion.calls, 1);
        EXPECT_EQ(completion.errcode, row.errcode);
        EXPECT_EQ(completion.errmsg, row.errmsg);
        EXPECT_EQ(completion.result, row.result);
        EXPECT_EQ(completion.thread, QCoreApplication::instance()->thread());
    }
}

TEST_F(RequestEngine, SendsTheEnvelopeAndTheTokenHeader)
{
    post(url);
    post(url, "tok-1");
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_TRUE(request.problem.empty()) << request.problem;
        EXPECT_TRUE(request.enveloped);
        EXPECT_EQ(request.envelopeVersion.asInt(), 100);
        EXPECT_EQ(request.header("content-type"), "application/json");
        EXPECT_TRUE(devservice::verifyMembershipSignature(request.members).valid);
    }
    EXPECT_EQ(requests[0].header("authorization"), "");
    EXPECT_EQ(requests[1].header("authorization"), "Bearer tok-1");
}

TEST_F(RequestEngine, CallbackRunsOnceEvenWhenTheServiceStalls)
{
    BaseNet::setTimeoutMs(1000);
    devservice::ScriptedReply stall = devservice::ScriptedReply::success(Json::Value("late"));
    stall.delayMs = 4000;
    service->script(kPath, stall);
    Completion stalled;
    net.postAsync(url, BaseNet::makeBody("{}"), stalled.callback(), true, std::string());
    ASSERT_TRUE(stalled.wait());
    EXPECT_EQ(stalled.errcode, -28);

    // A later exchange completes while the first callback stays at one call.
    BaseNet::setTimeoutMs(30000);
    const Completion next = post(url);
    EXPECT_EQ(next.errcode, 0);
    EXPECT_EQ(stalled.calls, 1);
}

// The module's teardown waits for the exchanges under way: they use the framework's components.
TEST_F(RequestEngine, TeardownWaitsForTheExchangesUnderWay)
{
    devservice::ScriptedReply slow = devservice::ScriptedReply::success(Json::Value("slow"));
    slow.delayMs = 1500;
    service->script(kPath, slow);
    Completion completion;
    net.postAsync(url, BaseNet::makeBody("{}"), completion.callback(), true, std::string());
    BaseNet::waitForExchanges();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(completion.calls, 1);
    EXPECT_EQ(completion.errcode, 0);
}

TEST_F(RequestEngine, RefusedConnection)
{
    const Completion completion = post("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + kPath);
    EXPECT_EQ(completion.errcode, -7);
}

TEST_F(RequestEngine, SynchronousPostInTheCallingThread)
{
    service->script(kPath, devservice::ScriptedReply::success(Json::Value("sync")));
    std::string result;
    std::string errmsg;
    EXPECT_EQ(net.postSync(url, BaseNet::makeBody("{}"), true, std::string(), result, errmsg), 0);
    EXPECT_EQ(result, "sync");
}

// HTTPS keeps verifying the peer: the service's authority is trusted only through TAVICAST_CA_FILE.
TEST(RequestEngineTls, UntrustedCertificateFails)
{
    MemviaComponent component;
    devservice::Service service;
    std::string error;
    ASSERT_TRUE(service.start(&error)) << error;
    devservice::Route route;
    route.aesKey = kKey;
    route.envelope = true;
    route.signedBody = false;
    service.addRoute(kPath, route);
    const std::string url = service.baseUrl() + kPath;
    BaseNet net;
    {
        ScopedEnv noAuthority("TAVICAST_CA_FILE", std::nullopt);
        std::string result;
        std::string errmsg;
        EXPECT_EQ(net.postSync(url, BaseNet::makeBody("{}"), true, std::string(), result, errmsg), -60)
            << errmsg;
        EXPECT_TRUE(service.requests().empty());
    }
    ScopedEnv authority("TAVICAST_CA_FILE", service.caFile());
    Completion completion;
    net.postAsync(url, BaseNet::makeBody("{}"), completion.callback(), true, std::string());
    ASSERT_TRUE(completion.wait());
    EXPECT_EQ(completion.errcode, 0) << completion.errmsg;
    EXPECT_EQ(service.requests().size(), 1u);
}
