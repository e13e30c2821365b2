#include <bridge/value.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

using bg::Value;

namespace {

// Reaches the protected operations that the value's own family (lists, maps, the Qt value) uses.
class ValueFamily : public Value {
public:
    using Value::fast_set;
    using Value::free_data;
    using Value::seti;
};

} // namespace

TEST(Value, ConstructorsSetTypeAndScalar)
{
    int marker = 0;
    EXPECT_EQ(Value().type(), Value::VT_NULL);
    EXPECT_FALSE(Value().isValid());
    EXPECT_EQ(Value(-7).toInt(), -7);
    EXPECT_EQ(Value(-7).type(), Value::VT_INT);
    EXPECT_EQ(Value(4000000000u).toUInt(), 4000000000u);
    EXPECT_EQ(Value(4000000000u).type(), Value::VT_UINT);
    EXPECT_EQ(Value(1.5f).toFloat(), 1.5f);
    EXPECT_EQ(Value(1.5f).type(), Value::VT_FLOAT);
    EXPECT_EQ(Value(2.25).toDouble(), 2.25);
    EXPECT_EQ(Value(2.25).type(), Value::VT_DOUBLE);
    EXPECT_EQ(Value(static_cast<void*>(&marker)).toVoid(), &marker);
    EXPECT_EQ(Value(static_cast<void*>(&marker)).type(), Value::VT_VOID);
    EXPECT_EQ(Value(-5000000000LL).toInt64(), -5000000000LL);
    EXPECT_EQ(Value(-5000000000LL).type(), Value::VT_INT64);
    EXPECT_EQ(Value(18000000000000000000ULL).toUInt64(), 18000000000000000000ULL);
    EXPECT_EQ(Value(18000000000000000000ULL).type(), Value::VT_UINT64);
    EXPECT_TRUE(Value(true).toBool());
    EXPECT_EQ(Value(true).type(), Value::VT_BOOL);
    EXPECT_STREQ(Value("abc").toString(), "abc");
    EXPECT_EQ(Value("abc").bytes_len(), 3);
    EXPECT_EQ(Value(std::string("héllo")).bytes_len(), 6);
    EXPECT_EQ(Value(std::string("héllo")).type(), Value::VT_STRING);
}

TEST(Value, PointerKeepsAllEightBytes)
{
    void* high = reinterpret_cast<void*>(static_cast<uintptr_t>(0x7f12345678abcdefULL));
    Value v(high);
    EXPECT_EQ(v.toVoid(), high);
    EXPECT_EQ(Value(v).toVoid(), high);
}

TEST(Value, NullTextPointerGivesStringWithoutText)
{
    Value v(static_cast<const char*>(nullptr));
    EXPECT_EQ(v.type(), Value::VT_STRING);
    EXPECT_EQ(v.bytes(), nullptr);
    EXPECT_STREQ(v.toString("x"), "x");
    EXPECT_EQ(v.toStdString("d"), "d");
}

// Kept on purpose: copies drop an empty text, so a copy of "" has no text at all.
TEST(Value, CopyOfEmptyTextHasNoText)
{
    Value empty("");
    ASSERT_NE(empty.bytes(), nullptr);
    Value copy(empty);
    EXPECT_EQ(copy.type(), Value::VT_STRING);
    EXPECT_EQ(copy.bytes(), nullptr);
    EXPECT_STREQ(copy.toString("x"), "x");
}

// Kept on purpose: queries read the stored bits, they never convert.
TEST(Value, QueriesReadRawBits)
{
    const double d = 3.75;
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    EXPECT_EQ(static_cast<uint32_t>(Value(d).toInt()), static_cast<uint32_t>(bits));
    EXPECT_FALSE(Value(256).toBool());
    EXPECT_TRUE(Value(257).toBool());
    EXPECT_EQ(Value(-1).toUInt64(), 0xffffffffULL); // the rest of the slot stays zero
    EXPECT_EQ(Value(5).toString("def"), std::string("def"));
}

TEST(Value, PtrCopiesShareTheCallersBytes)
{
    // Heap bytes without a terminator: ASan reports any copy, release or read past the block.
    auto block = std::make_unique<unsigned char[]>(4);
    memcpy(block.get(), "wxyz", 4);
    {
        Value v(block.get(), 4);
        EXPECT_EQ(v.type(), Value::VT_PTR);
        Value copy(v);
        Value assigned;
        assigned = copy;
        EXPECT_EQ(copy.ptr(), block.get());
        EXPECT_EQ(assigned.ptr(), block.get());
        EXPECT_EQ(assigned.bytes_len(), 4);
        EXPECT_TRUE(copy == v);
        // Text queries stay inside the block.
        EXPECT_EQ(copy.toStdString(), "wxyz");
        char c = 0;
        EXPECT_EQ(copy.sscanF("wxy%c", &c), 1);
        EXPECT_EQ(c, 'z');
    }
    EXPECT_EQ(memcmp(block.get(), "wxyz", 4), 0);
}

TEST(Value, EqualityComparesTextByLength)
{
    auto a = std::make_unique<unsigned char[]>(4);
    auto b = std::make_unique<unsigned char[]>(4);
    memcpy(a.get(), "abcd", 4);
    memcpy(b.get(), "abcd", 4);
    EXPECT_TRUE(Value(a.get(), 4) == Value(b.get(), 4));
    b[3] = 'e';
    EXPECT_FALSE(Value(a.get(), 4) == Value(b.get(), 4));
    EXPECT_FALSE(Value(a.get(), 3) == Value(a.get(), 4));

    EXPECT_TRUE(Value("same") == Value(std::string("same")));
    EXPECT_FALSE(Value("same") == Value("sane"));
    EXPECT_FALSE(Value(1) == Value(1u));
    EXPECT_FALSE(Value(1) == Value(2));
}

TEST(Value, OwnerAndAuthorityAreCopiedButNotCompared)
{
    Value a(5);
    a.set_owner_id(101);
    a.set_authority(bg::DAuthority(1));
    Value copy(a);
    Value assigned;
    assigned = a;
    for (const Value* v : { &copy, &assigned }) {
        EXPECT_EQ(v->owner_id(), 101);
        EXPECT_EQ(v->authority(), bg::DAuthority(1));
    }
    EXPECT_TRUE(a == Value(5));
}

TEST(Value, ReadSprintfAndSetErrorMsgResetOwnerAndAuthority)
{
    Value v("old");
    auto stamp = [&v] {
        v.set_owner_id(100);
        v.set_authority(bg::DAuthority(1));
    };
    stamp();
    v.read("[i]3");
    EXPECT_EQ(v.owner_id(), 0);
    stamp();
    v.sprintF("%d", 4);
    EXPECT_EQ(v.authority(), bg::DAuthority(0));
    stamp();
    v.setErrorMsg(1, "e");
    EXPECT_EQ(v.owner_id(), 0);
    EXPECT_EQ(v.authority(), bg::DAuthority(0));
}

TEST(Value, ErrorValues)
{
    Value e = Value::ErrorValue(-1003, "module not exsit");
    EXPECT_TRUE(e.isError());
    EXPECT_EQ(e.errorID(), -1003);
    EXPECT_STREQ(e.errorMsg(), "module not exsit");

    Value bare = Value::ErrorValue(7, nullptr);
    EXPECT_EQ(bare.errorID(), 7);
    EXPECT_STREQ(bare.errorMsg(), "");

    EXPECT_STREQ(Value("text").errorMsg(), "");
    EXPECT_EQ(Value(42).errorID(), 0);

    Value v("a rather long text that the message replaces");
    v.setErrorMsg(-2, "short");
    EXPECT_EQ(v.type(), Value::VT_ERROR);
    EXPECT_STREQ(v.errorMsg(), "short");
    EXPECT_EQ(v.bytes_len(), 5);
}

TEST(Value, SprintfAndFrom)
{
    Value v(1);
    const std::string longText(200, 'q');
    EXPECT_EQ(v.sprintF("%s-%d", longText.c_str(), 12), 203);
    EXPECT_EQ(v.type(), Value::VT_STRING);
    EXPECT_EQ(v.toStdString(), longText + "-12");
    EXPECT_EQ(v.bytes_len(), 203);

    Value f = Value::from("%s:%u", "port", 8070u);
    EXPECT_STREQ(f.toString(), "port:8070");
    EXPECT_EQ(f.type(), Value::VT_STRING);
}

TEST(Value, Sscanf)
{
    int a = 0, b = 0;
    EXPECT_EQ(Value("12x34").sscanF("%dx%d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    EXPECT_EQ(Value(static_cast<const char*>(nullptr)).sscanF("%d", &a), 0);
    EXPECT_EQ(Value(5).sscanF("%d", &a), 0);
}

TEST(Value, AssignmentReleasesAndCopies)
{
    Value v("first text");
    v = v;
    EXPECT_STREQ(v.toString(), "first text");
    v = Value("second");
    EXPECT_STREQ(v.toString(), "second");
    v = Value(3);
    EXPECT_EQ(v.bytes(), nullptr);
    EXPECT_EQ(v.toInt(), 3);
}

TEST(Value, ToListAndToMapNeedTheirType)
{
    EXPECT_TRUE(Value("{list}[i]1`").toList().isEmpty());
    EXPECT_TRUE(Value(3).toMap().isEmpty());

    bg::ValueMap m;
    m["k"] = 1;
    EXPECT_EQ(Value(m).toMap().get_data("k").toInt(), 1);

    Value broken;
    broken.read("[list:4]oops");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(broken.toList().isEmpty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[ValueList]  read failed ...\n");
    broken.read("[map:4]oops");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(broken.toMap().isEmpty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[ValueMap]  read failed ...\n");
}

TEST(Value, FamilyOperationsKeepTheType)
{
    ValueFamily v;
    v.read("[str:3]abc");
    EXPECT_TRUE(v.fast_set(8, "%s", "0123456789"));
    EXPECT_STREQ(v.toString(), "0123456");
    EXPECT_EQ(v.bytes_len(), 7);
    EXPECT_EQ(v.type(), Value::VT_STRING);
    EXPECT_FALSE(v.fast_set(nullptr));
    EXPECT_EQ(v.bytes(), nullptr);
    v.seti(9);
    EXPECT_EQ(v.type(), Value::VT_STRING);
    EXPECT_EQ(v.toInt(), 9);
}
