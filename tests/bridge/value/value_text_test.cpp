#include <bridge/value.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using bg::Value;

namespace {

// Reads `text` from an exact-size heap copy, so that ASan sees any read past its terminator.
bool readExact(bg::MultiValues& v, const std::string& text)
{
    auto copy = std::make_unique<char[]>(text.size() + 1);
    memcpy(copy.get(), text.c_str(), text.size() + 1);
    return v.read(copy.get());
}

std::string printed(const char* fmt, double d)
{
    char buf[512];
    snprintf(buf, sizeof buf, fmt, d);
    return buf;
}

} // namespace

TEST(ValueText, WriteForms)
{
    unsigned char block[3] = { 1, 2, 3 };
    Value variant;
    variant.read("<variant>xyz");
    const struct {
        Value value;
        std::string form;
    } rows[] = {
        { Value(-5), "[i]-5" },
        { Value(4294967295u), "[u]4294967295" },
        { Value(true), "[b]true" },
        { Value(false), "[b]false" },
        { Value("héllo"), "[str:6]héllo" },
        { Value(static_cast<const char*>(nullptr)), "[str:0]" },
        { Value(), "<null>" },
        { Value(1.5f), "[f]1.500000" },
        { Value(-0.125), "[d]-0.125000" },
        { Value(LLONG_MIN), "[lld]-9223372036854775808" },
        { Value(ULLONG_MAX), "[llu]18446744073709551615" },
        { Value(static_cast<void*>(nullptr)), "[v](nil)" },
        { Value(reinterpret_cast<void*>(0x7f0012345678)), "[v]0x7f0012345678" },
        { Value::ErrorValue(-7, "hello"), "[err:5]-7,hello" },
        { Value::ErrorValue(3, nullptr), "[err:0]3," },
        { Value(block, 3), "[ptr]" + std::to_string(reinterpret_cast<uintptr_t>(block)) + ",3" },
        { variant, "<variant>xyz" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.form);
        EXPECT_EQ(row.value.write(), row.form);
    }
}

// Long float forms are kept whole (six decimals), not cut at a fixed buffer.
TEST(ValueText, LongFloatFormsAreNotCut)
{
    for (double d : { 1e300, -DBL_MAX, static_cast<double>(FLT_MAX), 1e-300 }) {
        SCOPED_TRACE(d);
        EXPECT_EQ(Value(d).write(), "[d]" + printed("%lf", d));
        Value back;
        ASSERT_TRUE(back.read(Value(d).write().c_str()));
        EXPECT_EQ(back.toDouble(), std::stod(printed("%lf", d)));
    }
    EXPECT_EQ(Value(FLT_MAX).write(), "[f]" + printed("%f", FLT_MAX));
    EXPECT_GT(Value(-DBL_MAX).write().size(), 300u);
}

TEST(ValueText, ReadCases)
{
    const struct {
        const char* text;
        bool ok;
        Value::VT type;
        std::string content; // text of the value, or its form after reading for scalars
    } rows[] = {
        { "[str:3]abcdef", true, Value::VT_STRING, "abc" },
        { "[str:9]abc", true, Value::VT_STRING, "abc" },
        { "[str]abc", true, Value::VT_STRING, "abc" },
        { "[str:0]", true, Value::VT_STRING, "" },
        { "[i]12`[i]13`", true, Value::VT_INT, "[i]12" },
        { "[i] -4", true, Value::VT_INT, "[i]-4" },
        { "[b]true`", true, Value::VT_BOOL, "[b]true" },
        { "[b]yes", true, Value::VT_BOOL, "[b]false" },
        { "[u]17", true, Value::VT_UINT, "[u]17" },
        { "[f]2.5", true, Value::VT_FLOAT, "[f]2.500000" },
        { "[d]-1e3", true, Value::VT_DOUBLE, "[d]-1000.000000" },
        { "[lld]-42", true, Value::VT_INT64, "[lld]-42" },
        { "[llu]42", true, Value::VT_UINT64, "[llu]42" },
        { "[v](nil)", true, Value::VT_VOID, "[v](nil)" },
        { "[v]0x10", true, Value::VT_VOID, "[v]0x10" },
        { "[list:6]{list}", true, Value::VT_LIST, "{list}" },
        { "[map]{map}", true, Value::VT_MAP, "{map}" },
        { "<variant>xyz", true, Value::VT_NULL, "xyz" },
        { "<variant>", true, Value::VT_NULL, "" },
        { "<null>", false, Value::VT_NULL, "" },
        { "[q]1", false, Value::VT_NULL, "" },
        { "abc", false, Value::VT_NULL, "" },
        { "abcd", false, Value::VT_NULL, "" },
        { "[i]", false, Value::VT_NULL, "" },
        { "[i]x", false, Value::VT_NULL, "" },
        { "[d]", false, Value::VT_NULL, "" },
        { "[lld]z", false, Value::VT_NULL, "" },
        { "[ptr]1234", false, Value::VT_NULL, "" },
        { "[ptr]1234,-1", false, Value::VT_NULL, "" },
        { "[long]1", false, Value::VT_NULL, "" },
        { "]abc", false, Value::VT_NULL, "" },
        { "[]abc", false, Value::VT_NULL, "" },
        // the tag counts only after the opening bracket
        { "Yptr]4096,5", false, Value::VT_NULL, "" },
        { "xi]12", false, Value::VT_NULL, "" },
        { "(str:3]abc", false, Value::VT_NULL, "" },
        // negative lengths and over-long tags are refused, never copied
        { "[str:-3]abc", false, Value::VT_NULL, "" },
        { "[map:-1]{map}", false, Value::VT_NULL, "" },
        { "[err:-5]1,hello", false, Value::VT_NULL, "" },
        { "[str:1234567890123]abc", false, Value::VT_NULL, "" },
        { "[stringstringstri]abc", false, Value::VT_NULL, "" },
        { "[strstrstrstrstr]abc", true, Value::VT_STRING, "abc" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        Value v("previous text");
        EXPECT_EQ(readExact(v, row.text), row.ok);
        EXPECT_EQ(v.type(), row.type);
        if (!row.ok) {
            EXPECT_EQ(v.bytes(), nullptr);
        } else if (row.type == Value::VT_STRING || row.type == Value::VT_LIST || row.type == Value::VT_MAP
            || row.type == Value::VT_NULL) {
            EXPECT_EQ(v.toStdString(), row.content);
        } else {
            EXPECT_EQ(v.write(), row.content);
        }
    }
}

TEST(ValueText, ReadErrors)
{
    Value v;
    ASSERT_TRUE(v.read("[err:5]-7,hello"));
    EXPECT_EQ(v.errorID(), -7);
    EXPECT_STREQ(v.errorMsg(), "hello");
    ASSERT_TRUE(v.read("[err]-7"));
    EXPECT_EQ(v.errorID(), -7);
    EXPECT_EQ(v.bytes(), nullptr);
    ASSERT_TRUE(v.read("[err:3]5,a,bcdef"));
    EXPECT_STREQ(v.errorMsg(), "a,b");
    ASSERT_TRUE(v.read("[err]x,msg"));
    EXPECT_EQ(v.errorID(), 0);
    EXPECT_STREQ(v.errorMsg(), "msg");
    ASSERT_TRUE(v.read("[err:0]4,"));
    EXPECT_EQ(v.bytes(), nullptr);
}

TEST(ValueText, MissingLengthIsReportedAndReadingGoesOn)
{
    Value v;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(v.read("[str:x]abc"));
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(), "> bg::Value:read() err: type='str:x', missing 'len'.\n");
    EXPECT_STREQ(v.toString(), "abc");
}

TEST(ValueText, RoundTripsEveryType)
{
    unsigned char block[5] = { 'a', 'b', 'c', 'd', 'e' };
    bg::ValueList list;
    list.push_back(Value(1));
    list.push_back(Value("x`y"));
    bg::ValueMap map;
    map["k"] = Value(list);
    Value variant;
    variant.read("<variant>free text");
    const std::vector<Value> values = {
        Value(INT_MIN),
        Value(UINT_MAX),
        Value(-0.5f),
        Value(123456.25),
        Value(static_cast<void*>(block)),
        Value(LLONG_MAX),
        Value(ULLONG_MAX),
        Value(true),
        Value(false),
        Value("text with ` and : and ] inside"),
        Value(list),
        Value(map),
        Value(block, 5),
        Value::ErrorValue(-1002, "'key' not exist ..."),
        Value::ErrorValue(9, nullptr),
        variant,
    };
    for (const Value& v : values) {
        const std::string form = v.write();
        SCOPED_TRACE(form);
        Value back;
        ASSERT_TRUE(readExact(back, form));
        EXPECT_TRUE(back == v);
        EXPECT_EQ(back.write(), form);
    }
}

// Every prefix and every one-byte change of valid forms reads without fault (ASan watches the reads).
TEST(ValueText, MalformedInputNeverFaults)
{
    bg::ValueMap inner;
    inner["s"] = Value("a`b:c");
    inner["e"] = Value::ErrorValue(-3, "x,y`z");
    bg::ValueList list;
    list.push_back(Value(inner));
    list.push_back(Value(2.5));
    const std::string forms[]
        = { Value(list).write(), Value::ErrorValue(1, "m").write(), "[ptr]12,3", "[lld]1", "<variant>v" };
    const char noise[] = { '\0', '`', ']', '[', ':', '-', '9', ',' };
    for (const std::string& form : forms) {
        for (size_t cut = 0; cut <= form.size(); ++cut) {
            Value v;
            readExact(v, form.substr(0, cut));
            v.write();
            for (char c : noise) {
                std::string changed = form;
                if (cut < changed.size())
                    changed[cut] = c;
                readExact(v, changed.c_str());
                v.write();
            }
        }
    }
}

// Numbers read and written without scanf and printf where the form is plain still come out as those two
// make them; the forms they do not take are left to scanf.
TEST(ValueText, NumbersReadAsScanfReadsThem)
{
    const struct {
        const char* text;
        const char* scanFormat;
    } rows[] = {
        { "[i]+5", "%d" },
        { "[i]99999999999", "%d" },
        { "[i]-2147483648", "%d" },
        { "[u]-1", "%u" },
        { "[u]4294967295", "%u" },
        { "[d]0x1p3", "%lf" },
        { "[d]-0X10", "%lf" },
        { "[d]1e999", "%lf" },
        { "[d]1.5e", "%lf" },
        { "[d] 2.25", "%lf" },
        { "[d]nan", "%lf" },
        { "[f]1e39", "%f" },
        { "[lld]+9000000000", "%lld" },
        { "[llu]18446744073709551615", "%llu" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        Value v;
        ASSERT_TRUE(v.read(row.text));
        const char* payload = strchr(row.text, ']') + 1;
        std::string expected;
        switch (v.type()) {
        case Value::VT_INT: {
            int n = 0;
            sscanf(payload, row.scanFormat, &n);
            expected = "[i]" + std::to_string(n);
            break;
        }
        case Value::VT_UINT: {
            unsigned n = 0;
            sscanf(payload, row.scanFormat, &n);
            expected = "[u]" + std::to_string(n);
            break;
        }
        case Value::VT_DOUBLE: {
            double d = 0;
            sscanf(payload, row.scanFormat, &d);
            expected = printed("[d]%lf", d);
            break;
        }
        case Value::VT_FLOAT: {
            float f = 0;
            sscanf(payload, row.scanFormat, &f);
            expected = printed("[f]%f", double(f));
            break;
        }
        case Value::VT_INT64: {
            long long n = 0;
            sscanf(payload, row.scanFormat, &n);
            expected = "[lld]" + std::to_string(n);
            break;
        }
        default: {
            unsigned long long n = 0;
            sscanf(payload, row.scanFormat, &n);
            expected = "[llu]" + std::to_string(n);
            break;
        }
        }
        EXPECT_EQ(v.write(), expected);
    }
    for (double d : { 0.0, -0.0, 1.25, -1e-7, 123456789.987654321, 1e300, DBL_MAX, DBL_MIN }) {
        SCOPED_TRACE(d);
        EXPECT_EQ(Value(d).write(), printed("[d]%lf", d));
    }
}
