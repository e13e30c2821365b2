#include <devservice/httpserver.h>
#include <devservice/requestverifier.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include "support/scoped_env.h"

#include <korvex/zovnet.h>

#include <json/reader.h>

#include <gtest/gtest.h>

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
