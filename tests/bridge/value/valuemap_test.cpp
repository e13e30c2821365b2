#include <bridge/valuemap.h>

#include <gtest/gtest.h>

#include <string>

using bg::Value;
using bg::ValueMap;

TEST(ValueMap, WriteInKeyOrder)
{
    ValueMap map;
    map["b"] = Value(2);
    map["a"] = Value("x");
    EXPECT_EQ(map.write(), "{map}a:[str:1]x`b:[i]2`");
    EXPECT_EQ(ValueMap().write(), "{map}");
}

TEST(ValueMap, ReadCases)
{
    const struct {
        const char* text;
        bool ok;
        std::string form; // the map written again after reading
    } rows[] = {
        { "{map}a:[str:1]x`b:[i]2`", true, "{map}a:[str:1]x`b:[i]2`" },
        { "{map}a:[i]1`a:[i]2`", true, "{map}a:[i]2`" },
        { "{map}[i]1`", true, "{map}" },
        { "{map}", true, "{map}" },
        { "{map}:[i]5`", true, "{map}:[i]5`" },
        { "{map}a:[i]1`b:[q]2`c:[i]3`", true, "{map}a:[i]1`" },
        { "{map}a:[str:4]:`:]`b:[b]true`", true, "{map}a:[str:4]:`:]`b:[b]true`" },
        { "{map}e:[err:3]1,`,``f:[ptr]16,9`g:<variant>z`h:[i]1`", true,
            "{map}e:[err:3]1,`,``f:[ptr]16,9`g:<variant>z`h:[i]1`" },
        { "{map}a:<null>`b:[i]2`", true, "{map}a:<null>`b:[i]2`" },
        { "{map}a:", true, "{map}" },
        { "[map]a:[i]1`", false, "{map}" },
        { "{list}", false, "{map}" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ValueMap map;
        map["old"] = Value(1);
        EXPECT_EQ(map.read(row.text), row.ok);
        EXPECT_EQ(map.write(), row.form);
    }
    ValueMap map;
    EXPECT_FALSE(map.read(nullptr));
}

TEST(ValueMap, NestedListReadsBack)
{
    ValueMap map;
    ASSERT_TRUE(map.read("{map}k:[list:16]{list}[i]1`[i]2``"));
    const bg::ValueList list = map["k"].toList();
    ASSERT_EQ(list.vlist().size(), 2u);
    EXPECT_EQ(list.front().toInt(), 1);
    EXPECT_EQ(list.back().toInt(), 2);

    ValueMap outer;
    outer["m"] = Value(map);
    outer["z"] = Value("end");
    ValueMap back;
    ASSERT_TRUE(back.read(outer.write().c_str()));
    EXPECT_EQ(back.write(), outer.write());
    EXPECT_EQ(back["m"].toMap()["k"].toList().back().toInt(), 2);
}

TEST(ValueMap, GetData)
{
    ValueMap map;
    map["present"] = Value(3);
    EXPECT_EQ(map.get_data("present", Value(9)).toInt(), 3);
    EXPECT_EQ(map.get_data("missing", Value(5)).toInt(), 5);
    const Value missing = map.get_data("missing", Value());
    EXPECT_EQ(missing.errorID(), -1002);
    EXPECT_STREQ(missing.errorMsg(), "'key' not exist ...");
    EXPECT_EQ(map.get_data(nullptr, Value()).errorID(), -1002);
}

TEST(ValueMap, InsertAndContains)
{
    ValueMap map;
    EXPECT_TRUE(map.insert_data("k", Value(1), false));
    EXPECT_FALSE(map.insert_data("k", Value(2), false));
    EXPECT_EQ(map["k"].toInt(), 1);
    EXPECT_TRUE(map.insert_data("k", Value(3), true));
    EXPECT_EQ(map["k"].toInt(), 3);
    EXPECT_TRUE(map.isContains("k"));
    EXPECT_FALSE(map.isContains("j"));
    EXPECT_FALSE(map.isContains(nullptr));

    map["new"];
    EXPECT_TRUE(map.isContains("new"));
    EXPECT_EQ(map["new"].type(), Value::VT_NULL);

    // The null entry reads back, and so do the entries after it.
    ValueMap back;
    ASSERT_TRUE(back.read(map.write().c_str()));
    EXPECT_EQ(back.write(), "{map}k:[i]3`new:<null>`");
}

TEST(ValueMap, ConstIndexOfMissingKey)
{
    ValueMap map;
    map["a"] = Value(1);
    const ValueMap& view = map;
    EXPECT_EQ(view["a"].toInt(), 1);
    testing::internal::CaptureStderr();
    const Value& missing = view["nope"];
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "== invalid, key = nope\n");
    EXPECT_EQ(missing.type(), Value::VT_NULL);
    EXPECT_FALSE(map.isContains("nope"));
}

// The text form ends a key at its first ':', so such keys are refused rather than lost on reading.
TEST(ValueMap, KeysWithColonAreRefused)
{
    ValueMap map;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(map.insert_data("http://host", Value(1), true));
    map["a:b"] = Value(2);
    ValueMap fromStd(std::map<std::string, Value> { { "ok", Value(3) }, { "x:y", Value(4) } });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("'http://host' refused"), std::string::npos);
    EXPECT_NE(err.find("'a:b' refused"), std::string::npos);
    EXPECT_NE(err.find("'x:y' refused"), std::string::npos);
    EXPECT_TRUE(map.isEmpty());
    EXPECT_EQ(fromStd.write(), "{map}ok:[i]3`");

    // What is stored always reads back whole.
    ValueMap back;
    ASSERT_TRUE(back.read(fromStd.write().c_str()));
    EXPECT_EQ(back.write(), fromStd.write());
}

TEST(ValueMap, EmptinessAndCopies)
{
    ValueMap map;
    EXPECT_TRUE(map.isEmpty());
    EXPECT_FALSE(map.isValid());
    map["k"] = Value("v");
    EXPECT_FALSE(map.isEmpty());
    EXPECT_TRUE(map.isValid());
    ValueMap copy(map);
    map.clear();
    EXPECT_TRUE(map.isEmpty());
    EXPECT_STREQ(copy["k"].toString(), "v");
    map = copy;
    map = map;
    EXPECT_EQ(map.write(), copy.write());
    EXPECT_EQ(ValueMap(copy.vmap()).write(), copy.write());
    int n = 0;
    for (auto it = copy.begin(); it != copy.end(); ++it)
        ++n;
    EXPECT_EQ(n, 1);
}
