#include <jsonread/jsonread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string nested(int depth, const std::string& inner = "0")
{
    return std::string(size_t(depth), '[') + inner + std::string(size_t(depth), ']');
}

Json::Value parsed(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(jsonread::parse(text, value)) << text;
    return value;
}

TEST(JsonReadParse, RefusesWhatIsNotJsonWithAReason)
{
    for (const char* text : { "", "{", "{\"a\":}", "[1,,2]", "nul", "\"open", "1e400", "NaN" }) {
        SCOPED_TRACE(text);
        Json::Value out = "stale";
        std::string error;
        EXPECT_FALSE(jsonread::parse(text, out, &error));
        EXPECT_TRUE(out.isNull());
        EXPECT_FALSE(error.empty());
    }
}

TEST(JsonReadParse, NestingIsBoundedWithoutAnException)
{
    Json::Value out;
    EXPECT_TRUE(jsonread::parse(nested(jsonread::kMaxDepth - 1), out));
    // The depth that ends a process with jsoncpp's own limit, and far beyond it.
    for (int depth : { jsonread::kMaxDepth + 1, 1001, 100000 }) {
        SCOPED_TRACE(depth);
        std::string error;
        EXPECT_FALSE(jsonread::parse(nested(depth), out, &error));
        EXPECT_TRUE(out.isNull());
        EXPECT_FALSE(error.empty());
        const std::string object = "{\"type\":\"stream_end\",\"x\":" + nested(depth, "") + "}";
        EXPECT_FALSE(jsonread::parse(object, out));
        EXPECT_FALSE(jsonread::parseObject(object));
    }
    // The thread's reader is whole again after giving up.
    EXPECT_EQ(parsed("{\"a\":[1,{\"b\":2}]}")["a"][1]["b"].asInt(), 2);
}

TEST(JsonReadParse, ObjectOnlyForObjects)
{
    EXPECT_TRUE(jsonread::parseObject("{\"a\":1}"));
    for (const char* text : { "[1]", "1", "\"s\"", "null", "true", "x" })
        EXPECT_FALSE(jsonread::parseObject(text)) << text;
}

TEST(JsonReadParse, CommentsAreKeptOnlyWhenAskedFor)
{
    const std::string text = "// head\n{\"a\":1}";
    Json::Value plain;
    ASSERT_TRUE(jsonread::parse(text, plain));
    EXPECT_FALSE(plain.hasComment(Json::commentBefore));
    Json::Value commented;
    ASSERT_TRUE(jsonread::parse(text.data(), text.data() + text.size(), commented, nullptr, true));
    EXPECT_TRUE(commented.hasComment(Json::commentBefore));
}

TEST(JsonReadParse, EachThreadParsesOnItsOwn)
{
    std::vector<std::thread> threads;
    std::atomic<int> good { 0 };
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&good, t] {
            for (int i = 0; i < 200; ++i) {
                Json::Value value;
                const bool deep = (i + t) % 3 == 0;
                const bool ok
                    = jsonread::parse(deep ? nested(2000) : "{\"n\":" + std::to_string(i) + "}", value);
                if (ok == !deep && (deep || value["n"].asInt() == i))
                    ++good;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good, 800);
}

TEST(JsonReadMember, MissingOrWrongContainersReadAsNull)
{
    const Json::Value object = parsed(R"({"a":{"b":[10,20]},"s":"t"})");
    EXPECT_EQ(jsonread::member(jsonread::member(object, "a"), "b")[1].asInt(), 20);
    EXPECT_TRUE(jsonread::member(object, "none").isNull());
    EXPECT_TRUE(jsonread::member(object, std::string("none")).isNull());
    // jsoncpp's own operator[] throws for each of these.
    for (const char* text : { "1", "\"s\"", "[1,2]", "true", "1e19" }) {
        SCOPED_TRACE(text);
        const Json::Value scalar = parsed(text);
        EXPECT_TRUE(jsonread::member(scalar, "user_id").isNull());
        EXPECT_EQ(jsonread::objectOf(scalar, "a"), nullptr);
        EXPECT_FALSE(jsonread::int64Of(scalar, "a"));
    }
    EXPECT_EQ(jsonread::element(object["a"]["b"], 1).asInt(), 20);
    EXPECT_TRUE(jsonread::element(object["a"]["b"], 2).isNull());
    EXPECT_TRUE(jsonread::element(object, 0).isNull());
    EXPECT_NE(jsonread::objectOf(object, "a"), nullptr);
    EXPECT_EQ(jsonread::arrayOf(object, "a"), nullptr);
    EXPECT_NE(jsonread::arrayOf(object["a"], "b"), nullptr);
}

struct NumberCase {
    const char* text;
    std::optional<int64_t> int64;
    std::optional<uint64_t> uint64;
    std::optional<int> int32;
    bool isNumber;
};

TEST(JsonReadTypes, NumbersReadOnlyWhereTheTypeHoldsThem)
{
    const NumberCase cases[] = {
        { "0", 0, 0u, 0, true },
        { "-5", -5, std::nullopt, -5, true },
        { "5.0", 5, 5u, 5, true },
        { "5.5", std::nullopt, std::nullopt, std::nullopt, true },
        { "2147483647", 2147483647, 2147483647u, 2147483647, true },
        { "2147483648", 2147483648LL, 2147483648u, std::nullopt, true },
        { "4294967296", 4294967296LL, 4294967296u, std::nullopt, true },
        { "-2147483649", -2147483649LL, std::nullopt, std::nullopt, true },
        { "9007199254740993", 9007199254740993LL, 9007199254740993u, std::nullopt, true },
        { "9223372036854775807", INT64_MAX, uint64_t(INT64_MAX), std::nullopt, true },
        { "-9223372036854775808", INT64_MIN, std::nullopt, std::nullopt, true },
        { "9223372036854775808", std::nullopt, 9223372036854775808u, std::nullopt, true },
        { "18446744073709551615", std::nullopt, UINT64_MAX, std::nullopt, true },
        // isIntegral() is true for these two, and asInt64() throws.
        { "1e19", std::nullopt, 10000000000000000000u, std::nullopt, true },
        { "18446744073709551616", std::nullopt, std::nullopt, std::nullopt, true },
        { "-1e19", std::nullopt, std::nullopt, std::nullopt, true },
        { "1e300", std::nullopt, std::nullopt, std::nullopt, true },
        { "true", std::nullopt, std::nullopt, std::nullopt, false },
        { "\"7\"", std::nullopt, std::nullopt, std::nullopt, false },
        { "null", std::nullopt, std::nullopt, std::nullopt, false },
        { "[7]", std::nullopt, std::nullopt, std::nullopt, false },
        { "{\"a\":7}", std::nullopt, std::nullopt, std::nullopt, false },
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text);
        const Json::Value value = parsed(c.text);
        EXPECT_EQ(jsonread::toInt64(value), c.int64);
        EXPECT_EQ(jsonread::toUInt64(value), c.uint64);
        EXPECT_EQ(jsonread::toInt(value), c.int32);
        EXPECT_EQ(jsonread::toDouble(value).has_value(), c.isNumber);
        const Json::Value object = parsed(std::string("{\"v\":") + c.text + "}");
        EXPECT_EQ(jsonread::int64Of(object, "v"), c.int64);
        EXPECT_EQ(jsonread::intOf(object, "v"), c.int32);
    }
}

TEST(JsonReadTypes, TextsAndBooleansOnlyFromTheirOwnType)
{
    const Json::Value object = parsed(R"({"s":"text","b":false,"n":1,"o":{},"a":[],"z":null})");
    EXPECT_EQ(jsonread::stringOf(object, "s"), "text");
    EXPECT_EQ(jsonread::boolOf(object, "b"), false);
    EXPECT_EQ(jsonread::doubleOf(object, "n"), 1.0);
    for (const char* key : { "n", "o", "a", "z", "missing" }) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(jsonread::stringOf(object, key));
        EXPECT_FALSE(jsonread::boolOf(object, key));
    }
    EXPECT_FALSE(jsonread::boolOf(object, "s"));
    EXPECT_FALSE(jsonread::doubleOf(object, "b"));
}

TEST(JsonReadGuarded, WhatEscapesIsTheInputsFailure)
{
    std::string error;
    EXPECT_TRUE(jsonread::guarded([] {}, &error));
    EXPECT_TRUE(error.empty());
    // jsoncpp's own exception, as asString() of an object throws it.
    EXPECT_FALSE(jsonread::guarded([] { (void)parsed("{\"a\":{}}")["a"].asString(); }, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(jsonread::guarded([] { throw 7; }, &error));
    EXPECT_EQ(error, "unknown exception");
    EXPECT_FALSE(jsonread::guarded([] { throw std::runtime_error("bad frame"); }));
}

} // namespace
