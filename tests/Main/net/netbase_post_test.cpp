#include "net/netbase.h"
#include "net/netframework.h"
#include "net/wirenames.h"

#include <devservice/requestverifier.h>
#include <devservice/service.h>

#include "support/free_port.h"
#include "support/scoped_env.h"
#include "support/service_component.h"

#include <json/reader.h>

#include <gtest/gtest.h>

using devservice::RecordedRequest;
using devservice::ScriptedReply;

namespace {

constexpr char kKey[] = "q7#Lm!wz_r4Kp2$e";
constexpr char kPreset[] = "untouched";

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

ScriptedReply raw(const std::string& body, int status = 200)
{
    ScriptedReply reply;
    reply.status = status;
    reply.rawBody = body;
    return reply;
}

// The local service with an enveloped route and an unwrapped one sharing the request key. Plain HTTP unless a
// test needs TLS (a TLS exchange is slow under the sanitizers); over HTTPS the client trusts the service
// through TAVICAST_CA_FILE.
class NetBasePostTest : public ::testing::Test {
protected:
    void SetUp() override { start(false); }

    void start(bool https)
    {
        devservice::Service::Options options;
        options.https = https;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route wrapped;
        wrapped.aesKey = kKey;
        wrapped.envelope = true;
        service->addRoute("/wrapped", wrapped);
        devservice::Route plain;
        plain.aesKey = kKey;
        service->addRoute("/plain", plain);
        service->addRoute("/slow", plain);
        service->addRoute("/drop", plain);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        trust.emplace("TAVICAST_CA_FILE", service->caFile());
    }

    bool post(
        NetBase& request, const std::string& path, bool encrypt, const std::string& token = std::string())
    {
        data = kPreset;
        return request.post(
            path, NetBase::sign(R"({"title": "t"})"), data, service->baseUrl(), encrypt, token, kKey, 200);
    }

    ServiceComponent component;
    std::optional<ScopedEnv> trust;
    std::unique_ptr<devservice::Service> service;
    std::string data;
};

class NetBaseTlsTest : public NetBasePostTest {
protected:
    void SetUp() override { start(true); }
};

} // namespace

TEST_F(NetBaseTlsTest, EnvelopeAndHeadersReachTheService)
{
    NetBase request;
    ScriptedReply reply = ScriptedReply::success(parse(R"({"id": 5})"));
    service->script("/wrapped", reply);
    ASSERT_TRUE(post(request, "/wrapped", true, "tok-1")) << request.code << " " << request.message;
    EXPECT_EQ(request.code, 0);
    EXPECT_EQ(request.message, "");
    EXPECT_EQ(data, parse(R"({"id": 5})").toStyledString());

    ASSERT_TRUE(post(request, "/plain", false));

    const std::vector<RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    const RecordedRequest& wrapped = requests[0];
    EXPECT_TRUE(wrapped.enveloped);
    EXPECT_EQ(wrapped.envelopeVersion, 200);
    EXPECT_TRUE(wrapped.signatureValid) << wrapped.problem;
    EXPECT_EQ(wrapped.members["title"], "t");
    EXPECT_EQ(wrapped.header("content-type"), "application/json");
    EXPECT_EQ(wrapped.header("authorization"), "Bearer tok-1");

    const RecordedRequest& plain = requests[1];
    EXPECT_FALSE(plain.enveloped);
    EXPECT_TRUE(plain.signatureValid) << plain.problem;
    EXPECT_EQ(plain.header("content-type"), "application/json");
    EXPECT_EQ(plain.header("authorization"), ""); // no token, no header
}

// How each reply turns into (result, code, message, data).
TEST_F(NetBasePostTest, ReplyRules)
{
    ScriptedReply encryptedString = ScriptedReply::success(Json::Value("abc"));
    encryptedString.encrypt = true;
    ScriptedReply encryptedObject = ScriptedReply::success(parse(R"({"a": [1, 2]})"));
    encryptedObject.encrypt = true;
    ScriptedReply wrongKey = encryptedString;
    wrongKey.wrongKey = true;
    const std::string cipher = devservice::aesEncrypt("abc", kKey);

    const struct {
        const char* name;
        ScriptedReply reply;
        int code;
        std::string message;
        std::string data;
    } cases[] = {
        { "empty object", raw("{}"), 0, "", "" },
        { "null result", raw(R"({"errcode": 0, "result": null})"), 0, "", "" },
        { "string code is no code", raw(R"({"errcode": "5", "errmsg": "x"})"), 0, "", "" },
        { "service failure", ScriptedReply::failure(3, "bad title"), 3, "bad title", kPreset },
        { "numeric message", raw(R"({"errcode": 3, "errmsg": 7})"), 3, "unknow error !", kPreset },
        { "HTTP 404 with body", raw("no such page", 404), -404, "no such page", kPreset },
        { "HTTP 500 without body", raw("", 500), -500, "", kPreset },
        { "not JSON", raw("<html>"), NetBase::UnparsableReply, "服务器返回数据无法解析，请重试！", kPreset },
        { "JSON array", raw("[1]"), NetBase::ReplyNotObject, "服务器返回数据格式不正确，请重试！", kPreset },
        { "JSON number", raw("42"), NetBase::ReplyNotObject, "服务器返回数据格式不正确，请重试！", kPreset },
        { "plain string result", ScriptedReply::success(Json::Value("abc")), 0, "", "\"abc\"\n" },
        { "encrypted string result", encryptedString, 0, "", "abc" },
        { "encrypted object result", encryptedObject, 0, "", R"({"a":[1,2]})" },
        { "encrypt 0", raw(R"({"encrypt": 0, "result": ")" + cipher + "\"}"), 0, "", "\"" + cipher + "\"\n" },
        { "encrypt -1", raw(R"({"encrypt": -1, "result": ")" + cipher + "\"}"), 0, "",
            "\"" + cipher + "\"\n" },
        { "encrypt \"1\"", raw(R"({"encrypt": "1", "result": ")" + cipher + "\"}"), 0, "",
            "\"" + cipher + "\"\n" },
        { "encrypt 2", raw(R"({"encrypt": 2, "result": ")" + cipher + "\"}"), 0, "", "abc" },
        { "wrong key", wrongKey, NetBase::UndecryptableData, "服务器返回数据解密失败，请重试！", kPreset },
        { "bad cipher", raw(R"({"encrypt": 1, "result": "not cipher"})"), NetBase::UndecryptableData,
            "服务器返回数据解密失败，请重试！", kPreset },
        { "encrypted non-string", raw(R"({"encrypt": 1, "result": {"a": 1}})"), NetBase::UndecryptableData,
            "服务器返回数据解密失败，请重试！", kPreset },
        { "encrypted empty string", raw(R"({"encrypt": 1, "result": ""})"), NetBase::UndecryptableData,
            "服务器返回数据解密失败，请重试！", kPreset },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service->script("/plain", c.reply);
        NetBase request;
        const bool ok = post(request, "/plain", false);
        EXPECT_EQ(ok, c.code == 0);
        EXPECT_EQ(request.code, c.code);
        EXPECT_EQ(request.message, c.message);
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(request.errorText(), c.message); // none of these is a transfer failure
    }
}

// Failed transfers give minus libcurl's code; errorText turns the known ones into user texts.
TEST_F(NetBasePostTest, TransferFailures)
{
    ScriptedReply slow = ScriptedReply::success();
    slow.delayMs = 10000;
    ScriptedReply dropped;
    dropped.drop = true;

    const std::string refusedBase = "https://127.0.0.1:" + std::to_string(closedLoopbackPort());
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::string base;
        std::string path;
        int timeout;
        std::vector<int> codes;
        std::string text; // empty: errorText keeps the transfer's own text
    } cases[] = {
        // the last one stops trusting the service
        { "refused", [] {}, refusedBase, "/plain", 10, { -7 }, "无法连接到服务器，请检查网络，再重试！" },
        { "time-out", [&] { service->script("/slow", slow); }, service->baseUrl(), "/slow", 1, { -28 },
            "网络请求超时，请重试！" },
        { "dropped", [&] { service->script("/drop", dropped); }, service->baseUrl(), "/drop", 10,
            { -52, -56 }, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        NetBase request;
        request.setTimeout(c.timeout);
        data = kPreset;
        EXPECT_FALSE(request.post(c.path, NetBase::sign("{}"), data, c.base, false, "", kKey, 200));
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), request.code), c.codes.end()) << request.code;
        EXPECT_EQ(data, kPreset);
        const std::string transferText = request.message;
        EXPECT_FALSE(transferText.empty());
        EXPECT_EQ(request.errorText(), c.text.empty() ? transferText : c.text);
        EXPECT_EQ(request.message, request.errorText());
    }
}

TEST_F(NetBaseTlsTest, UntrustedCertificateGivesTheCertificateText)
{
    trust.reset();
    NetBase request;
    EXPECT_FALSE(post(request, "/plain", false));
    EXPECT_EQ(request.code, -60);
    EXPECT_EQ(request.errorText(), "ssl证书认证失败，请退出杀毒软件，重启软件！");
    EXPECT_EQ(data, kPreset);
}

// Nothing leaves the machine when the body cannot be signed or wrapped.
TEST_F(NetBasePostTest, UnsendableBodiesFailLocally)
{
    NetBase request;
    data = kPreset;
    EXPECT_FALSE(
        request.post("/plain", NetBase::sign("[1]"), data, service->baseUrl(), false, "", kKey, 200));
    EXPECT_EQ(request.code, NetBase::UnsignableBody);
    EXPECT_EQ(request.message, "请求数据无效，未发送！");

    EXPECT_FALSE(
        request.post("/wrapped", NetBase::sign("{}"), data, service->baseUrl(), true, "", "short key", 200));
    EXPECT_EQ(request.code, NetBase::UnencryptableBody);
    EXPECT_EQ(request.message, "请求数据加密失败，未发送！");

    // Before start-up (no CD) there is no crypt service to wrap with.
    bg::Interface* root = CD;
    CD = nullptr;
    EXPECT_FALSE(request.post("/wrapped", "{}", data, service->baseUrl(), true, "", kKey, 200));
    CD = root;
    EXPECT_EQ(request.code, NetBase::UnencryptableBody);

    EXPECT_EQ(data, kPreset);
    EXPECT_TRUE(service->requests().empty());
}

TEST(NetBaseErrorText, KnownTransferFailures)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        { -3, "请求地址不正确，请重启软件！" },
        { -5, "无法解析代理主机，请重试！" },
        { -6, "无网络连接，请检查网络，再重试！" },
        { -7, "无法连接到服务器，请检查网络，再重试！" },
        { -28, "网络请求超时，请重试！" },
        { -35, "ssl证书认证失败，请退出杀毒软件，重启软件！" },
        { -56, "接收网络数据失败，请重试！" },
        { -60, "ssl证书认证失败，请退出杀毒软件，重启软件！" },
        { -77, "ssl证书认证失败，请退出杀毒软件，重启软件！" },
        { -404, "response text" },
        { 0, "response text" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        NetBase request;
        request.code = c.code;
        request.setMessage("response text");
        EXPECT_EQ(request.errorText(), c.text);
        EXPECT_EQ(request.message, c.text);
    }
}
