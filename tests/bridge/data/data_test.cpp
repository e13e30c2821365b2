#include <bridge/dataauth.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const std::string kStars = "********************************************************\n";

std::string forbidden(const char* operation, int owner, int me, const char* key)
{
    char middle[160];
    snprintf(middle, sizeof middle, "** [Data (owner=%d)] (myid=%d) %s('%s'): forbidden\n", owner, me,
        operation, key);
    return kStars + middle + kStars;
}

bg::Value marked(int payload, unsigned authority)
{
    bg::Value value(payload);
    value.set_authority(bg::DAuthority(authority));
    return value;
}

// Two components' views over one shared store, as the framework sets them up.
class DataAuthTest : public ::testing::Test {
protected:
    bg::Data shared;
    bg::DataAuth a { &shared };
    bg::DataAuth b { &shared };
};

TEST_F(DataAuthTest, ViewsTakeConsecutiveOwnerIds)
{
    EXPECT_GE(a.id(), 100u);
    EXPECT_EQ(b.id(), a.id() + 1);
    bg::Abstract_Datas* c = b.create();
    EXPECT_EQ(c->id(), b.id() + 1);
    c->destroy(&c);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(shared.id(), 0u);
}

TEST_F(DataAuthTest, AuthorityDecidesWhoMayOverwriteAndErase)
{
    struct Case {
        unsigned authority; // of the entry that a wrote
        bool b_may_write;
    };
    const Case cases[] = { { 0, true }, { 1, false }, { 2, true }, { 3, true }, { 4, false }, { 167, true } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.authority);
        const int ida = int(a.id()), idb = int(b.id());

        // The owner may always overwrite and erase its own entry.
        ASSERT_TRUE(a.set_data("k", marked(1, c.authority)));
        EXPECT_TRUE(a.set_data("k", marked(2, c.authority)));
        EXPECT_EQ(a.get_data("k", bg::Value()).owner_id(), ida);

        testing::internal::CaptureStderr();
        EXPECT_EQ(b.set_data("k", marked(3, 0)), c.b_may_write);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
            c.b_may_write ? "" : forbidden("set_data", ida, idb, "k"));
        EXPECT_EQ(shared.get_data("k", bg::Value()).toInt(), c.b_may_write ? 3 : 2);

        a.set_data("k", marked(4, c.authority)); // a's again (an entry b wrote with authority 0 is open)
        testing::internal::CaptureStderr();
        EXPECT_EQ(b.erease_data("k"), c.b_may_write);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
            c.b_may_write ? "" : forbidden("erease_data", ida, idb, "k"));
        EXPECT_EQ(shared.isContains("k"), !c.b_may_write);

        if (shared.isContains("k")) {
            EXPECT_TRUE(a.erease_data("k"));
        }
        EXPECT_FALSE(shared.isContains("k"));
    }
}

TEST_F(DataAuthTest, Authority167OverridesAProtectedEntryOnWriteOnly)
{
    a.set_data("k", marked(1, 1));
    EXPECT_TRUE(b.set_data("k", marked(2, 167)));
    bg::Value stored = shared.get_data("k", bg::Value());
    EXPECT_EQ(stored.toInt(), 2);
    EXPECT_EQ(stored.owner_id(), int(b.id()));
    EXPECT_EQ(unsigned(stored.authority()), 167u);

    b.set_data("k", marked(3, 1));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(a.erease_data("k")) << "there is no override for erasing";
    testing::internal::GetCapturedStderr();
}

TEST_F(DataAuthTest, StampsACopyAndLeavesTheCallersValueAlone)
{
    const bg::Value value = marked(5, 1);
    EXPECT_TRUE(a.set_data("k", value));
    EXPECT_EQ(value.owner_id(), 0);
    EXPECT_EQ(a.get_data("k", bg::Value()).owner_id(), int(a.id()));
}

TEST_F(DataAuthTest, MissingKeysAndPlainViews)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(b.erease_data("absent"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(a.get_data("absent", bg::Value(9)).toInt(), 9);
    EXPECT_FALSE(shared.isContains("absent")) << "a read inserts nothing";

    bg::DataAuth alone; // no target: its own entries, no guard
    alone.set_data("k", marked(1, 1));
    EXPECT_TRUE(alone.isContains("k"));
    EXPECT_FALSE(shared.isContains("k"));
    EXPECT_EQ(alone.get_data("k", bg::Value()).owner_id(), int(alone.id()));
    EXPECT_TRUE(alone.erease_data("k"));
}

TEST(Data, DebugListsEntriesInKeyOrder)
{
    bg::Data data;
    data.set_data("b", bg::Value("x"));
    data.set_data("a", bg::Value(1));
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    data.debug(out);
    data.debug(nullptr);
    std::string text(size_t(ftell(out)), '\0');
    rewind(out);
    fread(text.data(), 1, text.size(), out);
    fclose(out);
    EXPECT_EQ(text, "\n[Data] debug >>\na  -->  [i]1\nb  -->  [str:1]x\n\n");
}

TEST(Data, PackAndUnpackRoundTrip)
{
    bg::ValueMap map;
    map.insert_data("n", bg::Value(3), true);
    const bg::Value values[] = {
        bg::Value(-5),
        bg::Value(4294967295u),
        bg::Value(2.5),
        bg::Value(true),
        bg::Value(1234567890123LL),
        bg::Value("héllo : world\n"),
        bg::Value(map),
        bg::Value::ErrorValue(-7, "bad"),
    };
    bg::Data data;
    for (const bg::Value& value : values) {
        SCOPED_TRACE(value.write());
        bg::Value packed = data.pack(value);
        EXPECT_EQ(packed.type(), bg::Value::VT_STRING);
        EXPECT_EQ(std::string(packed.toString()).find(value.write()), std::string::npos) << "not in clear";
        EXPECT_TRUE(data.unpack(packed) == value);
    }
    EXPECT_EQ(data.pack(bg::Value()).type(), bg::Value::VT_NULL);
    EXPECT_EQ(data.unpack(bg::Value(42)).toInt(), 42);
    EXPECT_EQ(data.unpack(bg::Value(42)).type(), bg::Value::VT_INT);
}

} // namespace

namespace {

TEST(DataConcurrency, IsContainsBesideWriters)
{
    bg::Data shared;
    bg::DataAuth view(&shared);
    std::atomic<bool> done { false };
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            std::string key = "k" + std::to_string(i % 20);
            view.set_data(key.c_str(), bg::Value(i));
            if (i % 3 == 0)
                view.erease_data(key.c_str());
        }
        done = true;
    });
    while (!done) {
        for (int i = 0; i < 20; ++i)
            view.isContains(("k" + std::to_string(i)).c_str());
    }
    writer.join();
}

} // namespace
