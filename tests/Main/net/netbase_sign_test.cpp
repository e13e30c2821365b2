#include "net/netbase.h"
#include "net/netframework.h"
#include "net/wirenames.h"

#include <devservice/requestverifier.h>

#include "support/comma_locale.h"
#include "support/service_component.h"

#include <json/reader.h>

#include <gtest/gtest.h>

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

// A fixed clock (1700000000.654321 s) and the application info set at start-up.
class NetBaseSignTest : public ::testing::Test {
protected:
    ServiceComponent component;

    void SetUp() override
    {
        netframework::setOverride(netframework::Override { [] { return int64_t(1700000000654321); } });
    }
    void TearDown() override { netframework::setOverride(std::nullopt); }
};

constexpr char kContext[]
    = "app_name=Tavimeet&app_version=1.0.0&client=desktop&platform=1&platform_type=1&req_time=1700000000&";
constexpr char kSalt[] = "&norvo.zq@19971204";

} // namespace

// Each body's signed text written out by hand; the signature must be its MD5 and the service must accept
// the result.
TEST_F(NetBaseSignTest, KnownAnswers)
{
    const std::string ctx = kContext;
    const struct {
        const char* name;
        const char* body;
        std::string text;
    } cases[] = {
        { "empty object", "{}", ctx },
        { "mixed array, prefix name sorts first", R"({"a": ["x", 2, true, 3.5, null, {"k": 1}, [1], -7]})",
            "a=x,2,,3.5,,,,-7&" + ctx },
        { "empty array", R"({"z": []})", ctx + "z=&" },
        { "null and nested object", R"({"nul": null, "obj": {"x": 1}})",
            "app_name=Tavimeet&app_version=1.0.0&client=desktop&nul=&obj=&platform=1&platform_type=1&"
            "req_time=1700000000&" },
        { "bools", R"({"t": true, "f": false})",
            "app_name=Tavimeet&app_version=1.0.0&client=desktop&f=0&platform=1&platform_type=1&"
            "req_time=1700000000&t=1&" },
        { "& and = unescaped, UTF-8 as is", R"({"s": "a&b=c \u4e2d"})", ctx + "s=a&b=c \xe4\xb8\xad&" },
        { "32-bit range and beyond",
            R"({"u": 2147483647, "v": -2147483648, "w": 2147483648, "x": 3000000000})",
            ctx + "u=2147483647&v=-2147483648&w=2.14748e+09&x=3e+09&" },
        { "%g numbers",
            R"({"x1": 0.5, "x2": 1500000.5, "x3": 0.00001, "x4": 0.7654321, "x5": 3.0, "x6": -2.5e-7})",
            ctx + "x1=0.5&x2=1.5e+06&x3=1e-05&x4=0.765432&x5=3&x6=-2.5e-07&" },
        { "names by unsigned byte", R"({"\u00e9": 1, "B": 2, "_": 3})", "B=2&_=3&" + ctx + "\xc3\xa9=1&" },
        { "context members overwritten",
            R"({"platform": 7, "client": "web", "req_time": "x", "app_name": "Other", "app_version": [1]})",
            ctx },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Json::Value signedBody = parse(NetBase::sign(c.body));
        ASSERT_TRUE(signedBody.isObject());
        EXPECT_EQ(signedBody[wire::kSignature].asString(), devservice::md5Hex(c.text + kSalt));
        EXPECT_EQ(signedBody[wire::kSignTime].type(), Json::intValue);
        EXPECT_EQ(signedBody[wire::kSignTime].asInt64(), 1700000000);
        EXPECT_EQ(signedBody[wire::kSignPlatform], 1);
        EXPECT_EQ(signedBody[wire::kSignClient], "desktop");
        const devservice::SignatureCheck check = devservice::verifySignature(signedBody);
        EXPECT_TRUE(check.valid) << check.problem;
    }
}

// A user whose locale writes a decimal comma (Qt adopts the environment's) signs the same text: 64-bit ids
// and fractions keep their point, and the service accepts the request.
TEST_F(NetBaseSignTest, SignatureIgnoresTheLocale)
{
    CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "no comma-decimal locale could be made";
    const Json::Value signedBody = parse(NetBase::sign(R"({"id": 5123456789, "x": 0.5, "y": -2.5e-7})"));
    ASSERT_TRUE(signedBody.isObject());
    EXPECT_EQ(signedBody[wire::kSignature].asString(),
        devservice::md5Hex("app_name=Tavimeet&app_version=1.0.0&client=desktop&id=5.12346e+09&platform=1&"
                           "platform_type=1&req_time=1700000000&x=0.5&y=-2.5e-07&"
            + std::string(kSalt)));
    const devservice::SignatureCheck check = devservice::verifySignature(signedBody);
    EXPECT_TRUE(check.valid) << check.problem;
}

// A "sign" member in the body takes part in the text and is then replaced.
TEST_F(NetBaseSignTest, IncomingSignatureMemberIsSignedThenReplaced)
{
    const Json::Value signedBody = parse(NetBase::sign(R"({"sign": "old"})"));
    EXPECT_EQ(signedBody[wire::kSignature].asString(),
        devservice::md5Hex(std::string(kContext) + "sign=old&" + kSalt));
}

TEST_F(NetBaseSignTest, BodiesThatAreNotObjectsAreRefused)
{
    for (const char* body : { "", "{", "not json", "[1]", "3", "\"text\"", "null" }) {
        SCOPED_TRACE(body);
        EXPECT_EQ(NetBase::sign(body), "");
    }
}
