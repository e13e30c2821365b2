#include <global/valueqt.h>

#include "support/comma_locale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct ReadCase {
    std::string text;
    bool ok;
    int type;
    std::string written; // write() after the read
};

TEST(ValueQt, ReadAndWriteForms)
{
    const ReadCase cases[] = {
        { "[qstr:6]主页", true, 13, "[qstr:6]主页" }, { "[qstr:9]abc", true, 13, "[qstr:3]abc" },
        { "[qstr:2]abc", true, 13, "[qstr:2]ab" },
        { "[rect]x:1;y:2;w:30;h:40", true, 15, "[rect]x:1;y:2;w:30;h:40" },
        { "[rect]x:-1;y:-2;w:0;h:2147483647", true, 15, "[rect]x:-1;y:-2;w:0;h:2147483647" },
        { "[rectf]x:1.5;y:2.5;w:3.5;h:4.5", true, 14, "[rectf]x:1.5;y:2.5;w:3.5;h:4.5" },
        { "[rectf]x:1.500000;y:2.500000;w:3.500000;h:4.500000", true, 14, "[rectf]x:1.5;y:2.5;w:3.5;h:4.5" },
        { "[point]x:1;y:-7", true, 17, "[point]x:1;y:-7" },
        { "[pointf]x:0.25;y:-2", true, 16, "[pointf]x:0.25;y:-2" },
        { "[size]a:3;b:4", true, 19, "[size]w:3;h:4" },
        { "[sizef]w:640;h:480", true, 18, "[sizef]w:640;h:480" },
        // large coordinates are written whole and read back the same
        { "[rectf]x:-1e+300;y:1.7976931348623157e+308;w:123456789012345683968;h:0.1", true, 14,
            "[rectf]x:-1e+300;y:1.7976931348623157e+308;w:123456789012345683968;h:0.1" },
        // forms of the base class
        { "[i]7", true, bg::Value::VT_INT, "[i]7" },
        { "[str:3]abc", true, bg::Value::VT_STRING, "[str:3]abc" },
        { "<variant>xyz", true, bg::Value::VT_NULL, "<variant>xyz" },
        // too few numbers, unknown or bad forms
        { "[point]x:1", false, 0, "<null>" }, { "[rect]x:1;y:2;w:3", false, 0, "<null>" },
        { "[rect]1;2;3;4", false, 0, "<null>" }, { "[Rect]x:1;y:2;w:3;h:4", false, 0, "<null>" },
        { "<null>", false, 0, "<null>" }, { "[i]", false, 0, "<null>" }, { "abcdef", false, 0, "<null>" },
        // unsafe input
        { "[qstr:-1]abc", false, 0, "<null>" }, { "[qstr:-2147483648]abc", false, 0, "<null>" },
        { "[qstr:x]abc", false, 0, "<null>" },
        { "[" + std::string(40, 'r') + "]x:1;y:2", false, 0, "<null>" },
        { "[rect]" + std::string(5000, 'x') + ":1;" + std::string(300, 'y') + ":2;w:3;h:4", true, 15,
            "[rect]x:1;y:2;w:3;h:4" },
        { "[size]" + std::string(100000, 'w') + ":3;h:4", true, 19, "[size]w:3;h:4" },
        { "[ptr]4096,5", false, 0, "<null>" }, // an address that is not one of our texts
        // a form's first character is its opening bracket, whatever the tag after it
        { "Yptr]4096,5", false, 0, "<null>" }, { "xi]7", false, 0, "<null>" },
        { "Xqstr:3]abc", false, 0, "<null>" }, { "{rect]x:1;y:2;w:3;h:4", false, 0, "<null>" },
        { "]abcdef", false, 0, "<null>" }, { "]]]]", false, 0, "<null>" }, { "]x[rect]x:1", false, 0, "<null>" },
        { "[rect]x:1;y:2;w:3;h:99999999999", false, 0, "<null>" }, // out of range
        { "[pointf]x:1,5;y:2", false, 0, "<null>" },
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        bg::ValueQt v(QStringLiteral("before"));
        EXPECT_EQ(v.read(c.text.c_str()), c.ok);
        EXPECT_EQ(int(v.type()), c.type);
        EXPECT_EQ(v.write(), c.written);
    }
}

// The geometry forms are the same under a comma-decimal locale, and read back whole.
TEST(ValueQt, GeometryFormsIgnoreTheLocale)
{
    CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "no comma-decimal locale could be made";
    for (const char* text : { "[rectf]x:1.5;y:-2.25;w:1e+30;h:0.125", "[pointf]x:0.25;y:-2", "[sizef]w:640.5;h:480" }) {
        SCOPED_TRACE(text);
        bg::ValueQt v(QStringLiteral("before"));
        ASSERT_TRUE(v.read(text));
        EXPECT_EQ(v.write(), text);
    }
}

TEST(ValueQt, ShortOrNullTextIsRejected)
{
    bg::ValueQt v(QStringLiteral("x"));
    EXPECT_FALSE(v.read(nullptr));
    EXPECT_EQ(int(v.type()), 0);
    EXPECT_FALSE(v.read("[i]"));
}

TEST(ValueQt, StringValueKeepsUtf8Bytes)
{
    const bg::ValueQt v(QStringLiteral("主页"));
    EXPECT_EQ(int(v.type()), 13);
    EXPECT_EQ(v.bytes_len(), 6);
    EXPECT_EQ(QString::fromUtf8(v.toString()), QStringLiteral("主页"));
    EXPECT_EQ(v.write(), "[qstr:6]主页");

    const bg::ValueQt empty { QString() };
    EXPECT_EQ(int(empty.type()), 13);
    EXPECT_EQ(empty.write(), "[qstr:0]");
}

TEST(ValueQt, PlainCopySharesTheTextAndOutlivesTheOriginal)
{
    bg::Value copy;
    {
        bg::ValueQt host(QStringLiteral("api.example.com"));
        copy = host;
        EXPECT_EQ(copy.bytes(), host.bytes()) << "a plain copy shares the bytes";
    }
    ASSERT_EQ(int(copy.type()), bg::Value::VT_PTR);
    ASSERT_EQ(copy.bytes_len(), 15);
    EXPECT_EQ(std::string(copy.bytes(), 15), "api.example.com");

    char expected[64];
    std::snprintf(expected, sizeof expected, "[ptr]%llu,%d",
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(copy.bytes())), 15);
    EXPECT_EQ(copy.write(), expected);

    // Within the process, the plain form reads back through a ValueQt as the same text.
    bg::ValueQt back { QString() };
    ASSERT_TRUE(back.read(expected));
    EXPECT_EQ(back.write(), "[qstr:15]api.example.com");
}

} // namespace
