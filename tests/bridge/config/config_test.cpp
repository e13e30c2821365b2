#include <bridge/config.h>

#include "bridge/scratch_dir.h"
#include "config/registry_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <thread>
#include <vector>

namespace {

using Entries = std::map<std::string, std::string>;

Entries entries_of(bg::Abstract_Config& config)
{
    Entries entries;
    config.travel(
        [](const char* key, const char* value, void* context) {
            (*static_cast<Entries*>(context))[key] = value;
            return true;
        },
        &entries);
    return entries;
}

std::string fixture(const char* name)
{
    return std::string(getenv("TAVICAST_TEST_DATA")) + "/config/" + name;
}

class ConfigTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.file("Admin.conf");
};

TEST_F(ConfigTest, ReadRulesOfTheFile)
{
    write_file(path, read_file(fixture("read_rules.conf")));
    bg::Config config(path.c_str());
    const Entries expected = {
        { "#hash", "kept" },
        { "a", "1" },
        { "b", "2" },
        { "dup", "1" },
        { "empty", "" },
        { "padded key", "padded value" },
        { "t", "10:30:00" },
        { "url", "http://example.com:8080/x" },
    };
    EXPECT_EQ(entries_of(config), expected);
    EXPECT_EQ(config.count(), 8);
    bool found = false;
    EXPECT_EQ(config.get("t", &found), "10:30:00");
    EXPECT_TRUE(found);
    EXPECT_EQ(config.get("# a comment", &found), "");
    EXPECT_FALSE(found);
}

TEST_F(ConfigTest, SaveWritesHeaderAndEntriesInByteOrder)
{
    write_file(path, read_file(fixture("read_rules.conf")));
    Entries saved;
    {
        bg::Config config(path.c_str());
        EXPECT_TRUE(config.set("z", "9"));
        EXPECT_TRUE(config.set("\xC3\xA9t\xC3\xA9", "\xE4\xB8\xAD")); // UTF-8 sorts after ASCII
        config.save();
        saved = entries_of(config);
    }
    EXPECT_EQ(read_file(path),
        "#Bridge Config (#note)\n"
        " #hash : kept\n"
        "a : 1\n"
        "b : 2\n"
        "dup : 1\n"
        "empty : \n"
        "padded key : padded value\n"
        "t : 10:30:00\n"
        "url : http://example.com:8080/x\n"
        "z : 9\n"
        "\xC3\xA9t\xC3\xA9 : \xE4\xB8\xAD\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1); // no temporary left
    // Every entry, the one whose key begins with '#' included, reads back after the save.
    bg::Config reloaded(path.c_str());
    EXPECT_EQ(entries_of(reloaded), saved);
}

TEST_F(ConfigTest, SavesOnlyWhatChanged)
{
    bg::Config config(path.c_str());
    EXPECT_TRUE(config.isEmpty());
    config.save();
    EXPECT_FALSE(std::filesystem::exists(path)) << "nothing changed, nothing written";

    config.set("a", "1");
    config.save();
    ASSERT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);

    config.set("a", "1"); // the same value
    config.save();
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_FALSE(config.remove("missing"));
    config.save();
    EXPECT_FALSE(std::filesystem::exists(path));

    config.clear();
    config.save();
    EXPECT_EQ(read_file(path), "#Bridge Config (#note)\n");
}

TEST_F(ConfigTest, DestructorSavesPendingChangesAndValuesComeBackTrimmed)
{
    {
        bg::Config config(path.c_str());
        config.set("k", "  spaced value\t");
        config.set("t", "10:30:00");
    }
    bg::Config again(path.c_str());
    EXPECT_EQ(again.get("k"), "spaced value");
    EXPECT_EQ(again.get("t"), "10:30:00");
}

TEST_F(ConfigTest, RefusesKeysAndValuesThatWouldNotReadBack)
{
    struct Case {
        const char* key;
        const char* value;
    };
    const Case refused[] = {
        { nullptr, "v" },
        { "", "v" },
        { "#note", "v" },
        { "a:b", "v" },
        { "line\nend", "v" },
        { "cr\r", "v" },
        { " lead", "v" },
        { "trail\t", "v" },
        { "k", "two\nlines" },
        { "k", "cr\rinside" },
    };
    bg::Config config(path.c_str());
    for (const Case& c : refused) {
        SCOPED_TRACE(c.key ? c.key : "(null)");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(config.set(c.key, c.value));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("[bg::Config] : set('", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.key && strchr(c.key, '\n') ? 2 : 1) << err;
    }
    EXPECT_FALSE(config.set(std::string(512, 'k').c_str(), "v"));
    EXPECT_TRUE(config.set(std::string(511, 'k').c_str(), "v"));
    EXPECT_TRUE(config.set("inner # and spaces", "v : w"));
    EXPECT_EQ(config.count(), 2);
}

TEST_F(ConfigTest, FailedSaveKeepsChangesAndSaysSoOnce)
{
    std::string folder = dir.file("later");
    std::string file = folder + "/Admin.conf";
    bg::Config config(file.c_str());
    config.set("kept", "yes");

    testing::internal::CaptureStderr();
    config.save();
    config.save();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("can't save '" + file + "'"), std::string::npos) << err;

    std::filesystem::create_directory(folder);
    config.save(); // the changes were still marked
    EXPECT_EQ(read_file(file), "#Bridge Config (#note)\nkept : yes\n");
}

// A component without a configuration folder has a store without a path: its save says why it failed.
TEST_F(ConfigTest, StoreWithoutPathSaysWhySaveFailed)
{
    bg::Config config("");
    config.set("kept", "yes");
    testing::internal::CaptureStderr();
    errno = 0; // nothing failed before: the reason must come from the save itself
    config.save();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[bg::Config] : can't save '' (No such file or directory), changes kept\n");
    EXPECT_EQ(config.get("kept"), "yes");
}

TEST_F(ConfigTest, LinesOfAnyLengthAreReadWhole)
{
    std::string value(300000, 'v');
    write_file(path, "long : " + value + "\nnext : 1\n");
    bg::Config config(path.c_str());
    EXPECT_EQ(config.get("long"), value);
    EXPECT_EQ(config.get("next"), "1");
    EXPECT_EQ(config.count(), 2);
}

TEST_F(ConfigTest, IsDebugOnlyForTheExactKey)
{
    struct Case {
        const char* value; // null: key absent
        bool debug;
    };
    const Case cases[] = {
        { nullptr, false },
        { "", false },
        { "tormaquile", true },
        { "tormaquile1", false },
        { "Tormaquile", false },
        { "tormaquil", false },
        { "1", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        bg::Config config(dir.file("debug.conf").c_str());
        config.clear();
        if (c.value)
            config.set("debug", c.value);
        EXPECT_EQ(config.is_debug(), c.debug);
        EXPECT_EQ(config.contains("debug"), c.value != nullptr) << "is_debug must not create the key";
    }
}

TEST_F(ConfigTest, TypedHelpers)
{
    bg::Config config(path.c_str());
    EXPECT_EQ(config.get_text("a", "def", false), "def");
    EXPECT_FALSE(config.contains("a"));
    EXPECT_EQ(config.get_text("a", "def", true), "def");
    EXPECT_EQ(config.get("a"), "def");

    EXPECT_TRUE(config.set_value("n", 42));
    EXPECT_TRUE(config.set_value("d", 1.5));
    EXPECT_EQ(config.get("n"), "42");
    EXPECT_EQ(config.get("d"), "1.5");

    char level[16] = "2";
    config.get_word("log.level", level, sizeof level, true);
    EXPECT_STREQ(level, "2");
    EXPECT_EQ(config.get("log.level"), "2") << "the default reaches the store";

    config.set("words", "12345678 second");
    char small[4] = "";
    EXPECT_EQ(config.get_word("words", small, sizeof small, false), small);
    EXPECT_STREQ(small, "123") << "the copy is bounded by the buffer";

    config.get_word("absent", nullptr, 0, true);
    EXPECT_EQ(config.get("absent", nullptr), "");
    EXPECT_TRUE(config.contains("absent"));
}

TEST_F(ConfigTest, TravelCallbackMayCallBackIntoTheStore)
{
    bg::Config config(path.c_str());
    config.set("b", "2");
    config.set("a", "1");
    struct Seen {
        bg::Config* config;
        std::vector<std::string> keys;
    } seen { &config, {} };
    config.travel(
        [](const char* key, const char*, void* context) {
            auto* s = static_cast<Seen*>(context);
            s->keys.push_back(key);
            s->config->set((std::string("copy.") + key).c_str(), "x");
            return true;
        },
        &seen);
    EXPECT_EQ(seen.keys, (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(config.count(), 4);
}

TEST_F(ConfigTest, CacheKeepsTheNewestTexts)
{
    bg::Config config(path.c_str());
    std::vector<const char*> kept;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 101; ++i)
        kept.push_back(config.cache_str(std::to_string(i).c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    const char* last = config.cache_str("101");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[bg::Config] : cache is full(n>100), reserve 30\n");
    EXPECT_STREQ(last, "101");
    for (int i = 71; i < 101; ++i) // the 30 newest survive (freed ones would trip the address sanitizer)
        EXPECT_STREQ(kept[size_t(i)], std::to_string(i).c_str());

    testing::internal::CaptureStderr();
    for (int i = 0; i < 70; ++i)
        config.cache_str("more");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "31 + 70 = 101 texts: not yet full";
}

TEST_F(ConfigTest, FactoryDestroySavesAndClearsThePointer)
{
    bg::Abstract_Config* config = bg::conf::create(path.c_str());
    EXPECT_EQ(config->owner, nullptr);
    EXPECT_STREQ(config->path(), path.c_str());
    config->set("x", "1");
    bg::conf::destroy(&config);
    EXPECT_EQ(config, nullptr);
    EXPECT_EQ(read_file(path), "#Bridge Config (#note)\nx : 1\n");
}

} // namespace

namespace {

// Registry mode keeps the values in the per-user key store under $XDG_CONFIG_HOME.
class RegistryModeTest : public ConfigTest {
protected:
    void SetUp() override
    {
        const char* old = getenv("XDG_CONFIG_HOME");
        saved_xdg = old ? old : "";
        had_xdg = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        bg::registry_store::set_switch(false, nullptr);
        if (had_xdg)
            setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    std::string saved_xdg;
    bool had_xdg = false;
};

TEST_F(RegistryModeTest, ValuesLiveInTheKeyStoreNotInTheFile)
{
    bg::registry_store::set_switch(true, "Software//Tavitest\\");
    std::string conf = dir.file("Memvia.conf");
    {
        bg::Config config(conf.c_str());
        EXPECT_TRUE(config.set("server", "https://example.com:443/a=b"));
        EXPECT_EQ(config.get("server"), "https://example.com:443/a=b");
        EXPECT_TRUE(config.contains("server"));
        EXPECT_STREQ(config.reg_get_or_set("mode", "auto"), "auto");
    }
    EXPECT_FALSE(std::filesystem::exists(conf));
    EXPECT_TRUE(std::filesystem::exists(dir.file("Software/Tavitest/Memvia.keys")));

    bg::Config again(conf.c_str());
    bool found = false;
    EXPECT_EQ(again.get("mode", &found), "auto");
    EXPECT_TRUE(found);
    char small[6];
    EXPECT_TRUE(again.reg_get("server", small, sizeof small));
    EXPECT_STREQ(small, "https") << "bounded by the caller's buffer";

    EXPECT_TRUE(again.remove("server"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(again.get("server", &found), "");
    EXPECT_FALSE(found);
    EXPECT_FALSE(again.remove("server"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[bg] Error: RegQueryValueExA() can't read key='server'\n"
        "[bg] Error: RegDeleteValueA() can't delete key='server'\n");
}

TEST_F(RegistryModeTest, RootDefaultsToTheExecutableName)
{
    bg::registry_store::set_switch(true, nullptr);
    bg::Config config(dir.file("conf/Admin.conf").c_str());
    EXPECT_EQ(bg::registry_store::root(), "Software\\test_bridge_config");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config.contains("x"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[bg] Error: RegOpenKeyExA() can't open path='Software\\test_bridge_config\\Admin'\n");
}

} // namespace

namespace {

// Readers of the size run beside writers (a data race here shows under the thread sanitizer preset).
TEST(ConfigConcurrency, CountAndIsEmptyBesideWriters)
{
    ScratchDir dir;
    bg::Config config(dir.file("c.conf").c_str());
    std::atomic<bool> done { false };
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            config.set(("k" + std::to_string(i % 50)).c_str(), std::to_string(i).c_str());
        for (int i = 0; i < 50; ++i)
            config.remove(("k" + std::to_string(i)).c_str());
        done = true;
    });
    while (!done) {
        int n = config.count();
        EXPECT_TRUE(n >= 0 && n <= 50);
        config.isEmpty();
    }
    writer.join();
    EXPECT_TRUE(config.isEmpty());
}

} // namespace
