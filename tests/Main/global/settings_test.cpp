#include <global/datakeys.h>
#include <global/settings.h>

#include <bridge/bridge_init.h>
#include <bridge/config.h>
#include <bridge/data.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/value.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class ConfigAccessors : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        config = bg::conf::create(dir.filePath("Admin.conf").toUtf8().constData());
        ASSERT_NE(config, nullptr);
    }
    void TearDown() override { bg::conf::destroy(&config); }

    // The stored text, or "<missing>".
    std::string stored(const char* key)
    {
        bool found = false;
        std::string text = config->get(key, &found);
        return found ? text : "<missing>";
    }

    QTemporaryDir dir;
    bg::Abstract_Config* config = nullptr;
};

struct ReadCase {
    const char* name;
    const char* storedText; // nullptr: key missing
    std::function<std::string(bg::Abstract_Config*)> read; // the result as text
    std::string expected;
    std::string storedAfter;
};

std::string sizeText(const QSize& s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); }

TEST_F(ConfigAccessors, ReadsConvertAndStoreDefaultsOnlyWhenAsked)
{
    const auto size = [](bool store) {
        return [store](bg::Abstract_Config* c) { return sizeText(cfgGetSize(c, "k", 1280, 720, store)); };
    };
    const auto integer = [](bool store) {
        return [store](bg::Abstract_Config* c) { return std::to_string(cfgGetInt(c, "k", 25, store)); };
    };
    const auto boolean = [](bool def, bool store) {
        return [def, store](bg::Abstract_Config* c) {
            return std::string(cfgGetBool(c, "k", def, store) ? "T" : "F");
        };
    };
    const auto text = [](bool store) {
        return [store](bg::Abstract_Config* c) { return cfgGetStdString(c, "k", "D:/videos", store); };
    };
    const ReadCase cases[] = {
        { "size default stored", nullptr, size(true), "1280x720", "1280,720" },
        { "size default not stored", nullptr, size(false), "1280x720", "<missing>" },
        { "size with x", "640x480", size(true), "640x480", "640x480" },
        { "size without height", "640", size(true), "640x0", "640" },
        { "size with blanks", " 640 , 480", size(false), "640x480", " 640 , 480" },
        { "size unreadable", "wide", size(false), "0x0", "wide" },
        { "size negative", "-3,-4", size(false), "-3x-4", "-3,-4" },
        { "int with unit", "30fps", integer(false), "30", "30fps" },
        { "int negative with blanks", "  -12", integer(false), "-12", "  -12" },
        { "int unreadable keeps default", "fast", integer(false), "25", "fast" },
        { "int default stored", nullptr, integer(true), "25", "25" },
        { "int default not stored", nullptr, integer(false), "25", "<missing>" },
        { "bool 1", "1", boolean(false, false), "T", "1" },
        { "bool 0", "0", boolean(true, false), "F", "0" },
        { "bool default true stored as 1", nullptr, boolean(true, true), "T", "1" },
        { "bool default false stored as 0", nullptr, boolean(false, true), "F", "0" },
        { "bool default not stored", nullptr, boolean(true, false), "T", "<missing>" },
        { "bool unreadable keeps default", "yes", boolean(true, false), "T", "yes" },
        { "text unchanged", "E:/录像 x", text(false), "E:/录像 x", "E:/录像 x" },
        { "text default stored", nullptr, text(true), "D:/videos", "D:/videos" },
        { "text default not stored", nullptr, text(false), "D:/videos", "<missing>" },
        { "cfgGetString stores", nullptr, [](bg::Abstract_Config* c) { return cfgGetString(c, "k", "x"); },
            "x", "x" },
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        config->clear();
        if (c.storedText) {
            ASSERT_TRUE(config->set("k", c.storedText));
        }
        EXPECT_EQ(c.read(config), c.expected);
        EXPECT_EQ(stored("k"), c.storedAfter);
    }
}

TEST_F(ConfigAccessors, SettersWriteTheTextForms)
{
    EXPECT_TRUE(cfgSetValue(config, "b1", true));
    EXPECT_TRUE(cfgSetValue(config, "b0", false));
    EXPECT_TRUE(cfgSetInt(config, "i", -5));
    EXPECT_TRUE(cfgSetString(config, "s", "主页 x"));
    EXPECT_TRUE(cfgSetSize(config, "z", QSize(1920, 1080)));
    EXPECT_TRUE(cfgSetStdString(config, "n", nullptr));
    EXPECT_EQ(stored("b1"), "1");
    EXPECT_EQ(stored("b0"), "0");
    EXPECT_EQ(stored("i"), "-5");
    EXPECT_EQ(stored("s"), "主页 x");
    EXPECT_EQ(stored("z"), "1920,1080");
    EXPECT_EQ(stored("n"), "");
    EXPECT_EQ(cfgGetSize(config, "z", 1, 1, false), QSize(1920, 1080));
}

TEST_F(ConfigAccessors, NullStoreGivesDefaultsAndRefusesWrites)
{
    EXPECT_EQ(cfgGetInt(nullptr, "k", 7, true), 7);
    EXPECT_EQ(cfgGetSize(nullptr, "k", 3, 4, true), QSize(3, 4));
    EXPECT_FALSE(cfgSetInt(nullptr, "k", 1));
}

TEST_F(ConfigAccessors, NamedFlagsDefaultToTrueWithoutWriting)
{
    EXPECT_TRUE(isAppFirstOpen(config));
    EXPECT_TRUE(isNormalCancel(config));
    EXPECT_EQ(config->count(), 0);

    EXPECT_TRUE(setAppFirstOpen(config));
    EXPECT_EQ(stored(kCfgAppFirstOpen), "0");
    EXPECT_FALSE(isAppFirstOpen(config));

    EXPECT_TRUE(setNormalCancel(config, false));
    EXPECT_FALSE(isNormalCancel(config));
    EXPECT_TRUE(setNormalCancel(config, true));
    EXPECT_EQ(stored(kCfgNormalCancel), "1");
}

struct DataCase {
    const char* name;
    bg::Value value; // VT_NULL: key missing
    bool expected;
};

void putOrErase(bg::Data& data, const char* key, const bg::Value& value)
{
    if (value.isValid())
        data.set_data(key, value);
    else
        data.erease_data(key);
}

TEST(SharedGetters, SignedInAndMemberReadByTypeTag)
{
    bg::Data data;
    const DataCase signedIn[] = {
        { "missing", bg::Value(), false },
        { "int 0", bg::Value(0), false },
        { "int id", bg::Value(42), true },
        { "64-bit id with zero low half", bg::Value(0x500000000LL), true },
        { "unsigned 64-bit id", bg::Value(0x100000000ULL), true },
        { "text is no id", bg::Value("42"), false },
    };
    for (const DataCase& c : signedIn) {
        SCOPED_TRACE(c.name);
        putOrErase(data, kDataUserId, c.value);
        EXPECT_EQ(isSignedIn(&data), c.expected);
    }
    const DataCase member[] = {
        { "missing", bg::Value(), false },
        { "level 1", bg::Value(1), false },
        { "level 2", bg::Value(2), true },
        { "level 3 as int64", bg::Value(3LL), true },
    };
    for (const DataCase& c : member) {
        SCOPED_TRACE(c.name);
        putOrErase(data, kDataUserLevel, c.value);
        EXPECT_EQ(isMember(&data), c.expected);
    }
    EXPECT_FALSE(isSignedIn(nullptr));
}

TEST(SharedGetters, AllSeatsTaken)
{
    struct Case {
        bg::Value taken;
        bg::Value seats;
        bool expected;
    };
    const Case cases[] = {
        { bg::Value(), bg::Value(), true }, // no seat at all is free
        { bg::Value(0), bg::Value(0), true },
        { bg::Value(0), bg::Value(2), false },
        { bg::Value(1), bg::Value(2), false },
        { bg::Value(2), bg::Value(2), true },
        { bg::Value(3), bg::Value(2), true },
        { bg::Value(1LL), bg::Value(2LL), false },
        { bg::Value(-1), bg::Value(0), false },
    };
    bg::Data data;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.taken.write() + " of " + c.seats.write());
        putOrErase(data, kDataChatMicroNum, c.taken);
        putOrErase(data, kDataMeetingPusherNum, c.seats);
        EXPECT_EQ(allSeatsTaken(&data), c.expected);
    }
}

TEST(SharedGetters, MeetingPusherNum)
{
    bg::Data data;
    EXPECT_EQ(meetingPusherNum(&data), 0);
    data.set_data(kDataMeetingPusherNum, bg::Value(4));
    EXPECT_EQ(meetingPusherNum(&data), 4);
    data.set_data(kDataMeetingPusherNum, bg::Value(6LL));
    EXPECT_EQ(meetingPusherNum(&data), 6);
    data.set_data(kDataMeetingPusherNum, bg::Value(5u));
    EXPECT_EQ(meetingPusherNum(&data), 5);
}

// The named getters without a store argument go through CD's configuration and data view.
class RootComponent : public bg::Interface {
public:
    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bg::Value process(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return {}; }
    bg::Value send(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return {}; }
    bool is_debug() override { return false; }
};

TEST_F(ConfigAccessors, NamedGettersUseTheRootComponentsStores)
{
    EXPECT_TRUE(isAppFirstOpen()) << "defaults while CD is null";
    EXPECT_FALSE(isSignedIn());
    EXPECT_TRUE(allSeatsTaken());

    bg::Data shared;
    bg::DataAuth view(&shared);
    RootComponent root;
    root.config = config;
    root.data = &view;
    CD = &root;
    EXPECT_TRUE(setAppFirstOpen());
    EXPECT_FALSE(isAppFirstOpen());
    EXPECT_TRUE(setNormalCancel(false));
    EXPECT_FALSE(isNormalCancel());
    shared.set_data(kDataUserId, bg::Value(0x700000000LL));
    shared.set_data(kDataUserLevel, bg::Value(2));
    shared.set_data(kDataMeetingPusherNum, bg::Value(3));
    shared.set_data(kDataChatMicroNum, bg::Value(1));
    EXPECT_TRUE(isSignedIn());
    EXPECT_TRUE(isMember());
    EXPECT_EQ(meetingPusherNum(), 3);
    EXPECT_FALSE(allSeatsTaken());
    CD = nullptr;
    EXPECT_EQ(stored(kCfgAppFirstOpen), "0");
}

} // namespace
