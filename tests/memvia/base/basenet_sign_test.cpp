#include "base/basenet.h"

#include "memvia/memvia_fixture.h"

#include <devservice/requestverifier.h>

namespace {

constexpr int64_t kFixedTime = 1700000000;
constexpr char kSalt[] = "norvo.zq@19971204";

// The members every body gains, in their sorted places, for the component's application info.
std::string context(const std::string& name)
{
    if (name == "app_name")
        return "app_name=Tavimeet&";
    if (name == "app_version")
        return "app_version=1.0.0&";
    if (name == "channel_id")
        return "channel_id=7&";
    if (name == "platform")
        return "platform=1&platform_type=1&";
    return "req_time=1700000000&";
}

struct SignCase {
    const char* params;
    const char* fragment; // a part the signed text must hold
};

class SignText : public ::testing::Test {
protected:
    MemviaComponent component;
};

} // namespace

TEST_F(SignText, SortedMembersFollowedByTheSalt)
{
    const std::string body = BaseNet::makeBody(R"({"b": "x", "a": 1, "net_url": "http://h/p"})", kFixedTime);
    const Json::Value signedBody = parseJsonText(body);
    const std::string expected = "a=1&" + context("app_name") + context("app_version") + "b=x&"
        + context("channel_id") + "net_url=http://h/p&" + context("platform") + context("req_time") + "&"
        + kSalt;
    EXPECT_EQ(BaseNet::signText([&] {
        Json::Value unsignedBody = signedBody;
        unsignedBody.removeMember("sign");
        return unsignedBody;
    }()),
        expected);
    EXPECT_EQ(signedBody["sign"].asString(), devservice::md5Hex(expected));
    EXPECT_EQ(signedBody["req_time"].asInt64(), kFixedTime);
    EXPECT_EQ(signedBody["channel_id"].asInt(), 7);
    // The program's own signature member is not the plug-in's.
    EXPECT_FALSE(signedBody.isMember("client"));
}

TEST_F(SignText, ValueTextsAndTheServiceAcceptsEveryBody)
{
    const SignCase cases[] = {
        { R"({"flag": true})", "&flag=1&" },
        { R"({"flag": false})", "&flag=0&" },
        { R"({"n": null})", "&n=&" },
        { R"({"list": ["p", 2]})", "&list=p,2&" },
        { R"({"list": ["p", 2.5, true, null, {"x": 1}, "q"]})", "&list=p,2.5,,,,q&" },
        { R"({"obj": {"x": 1, "y": "z"}})", "&obj=&" },
        { R"({"user_id": 5000000000})", "&user_id=5e+09&" },
        { R"({"price": 0.1})", "&price=0.1&" },
        { R"({"negative": -2147483648})", "&negative=-2147483648&" },
        { R"({"text": "a&b=c"})", "&text=a&b=c&" },
        { R"({"中文": "值"})", "req_time=1700000000&中文=值&&" },
        { R"({"aa": 1, "a": 2, "B": 3})", "B=3&a=2&aa=1&app_name" },
        // Caller members of the context's names are replaced, and a signature brought along is not signed.
        { R"({"req_time": 1, "platform": 9, "sign": "x"})",
            "platform=1&platform_type=1&req_time=1700000000&&" },
        { "not json", "app_name=Tavimeet&" },
        { "[1, 2]", "app_name=Tavimeet&" },
    };
    for (const SignCase& row : cases) {
        SCOPED_TRACE(row.params);
        const Json::Value body = parseJsonText(BaseNet::makeBody(row.params, kFixedTime));
        ASSERT_TRUE(body.isObject());
        Json::Value unsignedBody = body;
        unsignedBody.removeMember("sign");
        const std::string text = BaseNet::signText(unsignedBody);
        EXPECT_NE(text.find(row.fragment), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 19), std::string("&&") + kSalt);
        EXPECT_EQ(body["sign"].asString(), devservice::md5Hex(text));
        const devservice::SignatureCheck check = devservice::verifyMembershipSignature(body);
        EXPECT_TRUE(check.valid) << check.problem;
    }
}

TEST_F(SignText, TheServiceRefusesAlteredBodies)
{
    const Json::Value body = parseJsonText(BaseNet::makeBody(R"({"account": "demo"})", kFixedTime));
    Json::Value altered = body;
    altered["account"] = "other";
    EXPECT_FALSE(devservice::verifyMembershipSignature(altered).valid);
    Json::Value withClient = body;
    withClient["client"] = "desktop";
    EXPECT_FALSE(devservice::verifyMembershipSignature(withClient).valid);
    Json::Value withoutChannel = body;
    withoutChannel.removeMember("channel_id");
    EXPECT_FALSE(devservice::verifyMembershipSignature(withoutChannel).valid);
}
