#include "net/taskparams.h"

#include <gtest/gtest.h>

namespace {

bg::ValueMap sample()
{
    bg::ValueMap map;
    map["text"] = bg::Value("文字");
    map["int"] = bg::Value(-5);
    map["uint"] = bg::Value(4294967295u);
    map["wide"] = bg::Value((1LL << 32) + 9);
    map["uwide"] = bg::Value(18446744073709551615ull);
    map["yes"] = bg::Value(true);
    map["zero"] = bg::Value(0);
    map["real"] = bg::Value(2.5);
    bg::ValueMap members;
    members["a"] = bg::Value("1");
    members["b"] = bg::Value(2);
    map["map"] = bg::Value(members);
    return map;
}

} // namespace

// Values are read by their type tags; a missing key or a value of another kind gives the default, and
// nothing is reported on the standard error stream.
TEST(TaskParams, ReadsByTypeTagWithQuietDefaults)
{
    const bg::ValueMap params = sample();
    testing::internal::CaptureStderr();

    EXPECT_EQ(taskparams::text(params, "text"), "文字");
    EXPECT_EQ(taskparams::text(params, "int"), "");
    EXPECT_EQ(taskparams::text(params, "missing"), "");

    const struct {
        const char* key;
        int int32;
        long long int64;
        bool boolean;
    } numbers[] = {
        { "int", -5, -5, true },
        { "uint", -1, 4294967295LL, true },
        { "wide", 9, (1LL << 32) + 9, true },
        { "uwide", -1, -1, true },
        { "yes", 1, 1, true },
        { "zero", 0, 0, false },
        { "real", 0, 0, false },
        { "text", 0, 0, false },
        { "missing", 0, 0, false },
    };
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.key);
        EXPECT_EQ(taskparams::int32(params, n.key), n.int32);
        EXPECT_EQ(taskparams::int64(params, n.key), n.int64);
        EXPECT_EQ(taskparams::boolean(params, n.key), n.boolean);
    }

    const std::map<std::string, std::string> members = { { "a", "1" }, { "b", "" } };
    EXPECT_EQ(taskparams::textMap(params, "map"), members);
    EXPECT_TRUE(taskparams::textMap(params, "text").empty());
    EXPECT_TRUE(taskparams::textMap(params, "missing").empty());

    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(TaskParams, CallerTagIsUuidElseReqId)
{
    bg::ValueMap params;
    EXPECT_EQ(taskparams::callerTag(params), "");
    params["req_id"] = bg::Value("r-1");
    EXPECT_EQ(taskparams::callerTag(params), "r-1");
    params["uuid"] = bg::Value("u-1");
    EXPECT_EQ(taskparams::callerTag(params), "u-1");
}
