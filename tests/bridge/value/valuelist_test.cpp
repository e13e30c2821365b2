#include <bridge/valuelist.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using bg::Value;
using bg::ValueList;

namespace {

std::vector<std::string> forms(const ValueList& list)
{
    std::vector<std::string> out;
    for (const Value& v : list)
        out.push_back(v.write());
    return out;
}

} // namespace

TEST(ValueList, WriteAndReadBack)
{
    ValueList list;
    list.push_back(Value(1));
    list.push_back(Value("a`b"));
    list.push_back(Value(true));
    EXPECT_EQ(list.write(), "{list}[i]1`[str:3]a`b`[b]true`");

    ValueList back;
    ASSERT_TRUE(back.read("{list}[i]1`[str:3]a`b`[b]true`"));
    EXPECT_EQ(forms(back), (std::vector<std::string> { "[i]1", "[str:3]a`b", "[b]true" }));
    EXPECT_EQ(ValueList().write(), "{list}");
}

TEST(ValueList, ReadCases)
{
    const struct {
        const char* text;
        bool ok;
        std::vector<std::string> elements;
    } rows[] = {
        { "{list}", true, {} },
        { "[list]", false, {} },
        { "{list}[i]1`[q]2`[i]3`", true, { "[i]1" } },
        { "{list}[i]1`[i]2", true, { "[i]1", "[i]2" } },
        { "{list}`", true, {} },
        { "{list}[str:2]ab`[str:0]`[i]4`", true, { "[str:2]ab", "[str:0]", "[i]4" } },
        { "{list}[str:99]ab", true, { "[str:2]ab" } },
        { "{list}[str:-1]ab`[i]1`", true, {} },
        // error, ptr and variant elements end where their own form ends
        { "{list}[err:3]5,a`b`[i]1`", true, { "[err:3]5,a`b", "[i]1" } },
        { "{list}[err:0]5,`[i]1`", true, { "[err:0]5,", "[i]1" } },
        { "{list}[err]5`[i]1`", true, { "[err:0]5,", "[i]1" } },
        { "{list}[ptr]0,7`[i]1`", true, { "[ptr]0,7", "[i]1" } },
        { "{list}<variant>xyz`[i]1`", true, { "<variant>xyz", "[i]1" } },
        // null elements are kept, and so is everything after them
        { "{list}[i]1`<null>`[i]2`", true, { "[i]1", "<null>", "[i]2" } },
        // an element without its opening bracket ends the list
        { "{list}[i]1`Yptr]4096,5`[i]2`", true, { "[i]1" } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ValueList list;
        list.push_back(Value(9));
        EXPECT_EQ(list.read(row.text), row.ok);
        EXPECT_EQ(forms(list), row.elements);
    }
    ValueList list;
    EXPECT_FALSE(list.read(nullptr));
}

TEST(ValueList, ErrorPtrAndVariantElementsRoundTrip)
{
    unsigned char block[40] = {};
    Value variant;
    variant.read("<variant>v");
    ValueList list;
    list.push_back(Value::ErrorValue(-1, "m`s,g:"));
    list.push_back(Value(block, 40));
    list.push_back(variant);
    list.push_back(Value(7));

    ValueList back;
    ASSERT_TRUE(back.read(list.write().c_str()));
    EXPECT_EQ(forms(back), forms(list));
    EXPECT_EQ(back.back().toInt(), 7);
}

TEST(ValueList, EmptinessCopiesAndOrder)
{
    ValueList list;
    EXPECT_TRUE(list.isEmpty());
    EXPECT_FALSE(list.isValid());
    list.push_back(Value(2));
    list.push_front(Value(1));
    EXPECT_FALSE(list.isEmpty());
    EXPECT_TRUE(list.isValid());
    EXPECT_EQ(list.front().toInt(), 1);
    EXPECT_EQ(list.back().toInt(), 2);

    ValueList copy(list);
    list.clear();
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(copy.vlist().size(), 2u);
    list = copy;
    list = list;
    EXPECT_EQ(forms(list), forms(copy));
    EXPECT_EQ(forms(ValueList(copy.vlist())), forms(copy));
}

TEST(ValueList, NestedContainers)
{
    bg::ValueMap leaf;
    leaf["t"] = Value("deep ` : ] text");
    ValueList inner;
    inner.push_back(Value(leaf));
    inner.push_back(Value(-3));
    ValueList outer;
    outer.push_back(Value(inner));
    outer.push_back(Value("after"));

    ValueList back;
    ASSERT_TRUE(back.read(outer.write().c_str()));
    ASSERT_EQ(back.vlist().size(), 2u);
    const ValueList innerBack = back.front().toList();
    ASSERT_EQ(innerBack.vlist().size(), 2u);
    EXPECT_STREQ(innerBack.front().toMap()["t"].toString(), "deep ` : ] text");
    EXPECT_EQ(innerBack.back().toInt(), -3);
    EXPECT_STREQ(back.back().toString(), "after");
}
