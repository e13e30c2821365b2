#include <bridge/app.h>
#include <bridge/interface.h>
#include <bridge/logger.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string dump_of(bg::App& app)
{
    FILE* out = tmpfile();
    app.dump(out);
    std::string text(size_t(ftell(out)), '\0');
    rewind(out);
    fread(text.data(), 1, text.size(), out);
    fclose(out);
    return text;
}

TEST(App, TextsAndExecutableIdentity)
{
    bg::App app;
    EXPECT_STREQ(app.name(), "");
    app.set_name("Tavimeet");
    app.set_display("Tavicast");
    app.set_version("1.0.0");
    app.set_release("2023.08.07");
    app.set_organization("example.com");
    app.set_describe(nullptr);
    EXPECT_STREQ(app.name(), "Tavimeet");
    EXPECT_STREQ(app.display(), "Tavicast");
    EXPECT_STREQ(app.version(), "1.0.0");
    EXPECT_STREQ(app.release(), "2023.08.07");
    EXPECT_STREQ(app.organization(), "example.com");
    EXPECT_STREQ(app.describe(), "");
    EXPECT_STREQ(app.debug_key(), "tormaquile");

    EXPECT_STREQ(app.app_name(), "test_bridge_app");
    std::string dir = app.app_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(std::string(app.app_filepath()), dir + "test_bridge_app");
}

TEST(App, SecurePropertiesRoundTrip)
{
    bg::App app;
    const bg::Value product(23000);
    EXPECT_TRUE(app.set_property("product_type", product, true));
    EXPECT_TRUE(app.has_property("product_type"));
    EXPECT_TRUE(app.get_property("product_type", bg::Value(), true) == product);
    bg::Value encoded = app.get_property("product_type", bg::Value(), false);
    EXPECT_EQ(encoded.type(), bg::Value::VT_STRING);
    EXPECT_FALSE(encoded == product);

    EXPECT_TRUE(app.set_property("base", bg::Value("https://vip.example.com"), false));
    EXPECT_STREQ(app.get_property("base", bg::Value(), false).toString(), "https://vip.example.com");

    // An absent key gives the fallback as it is, also when reading securely.
    const bg::Value fallback("not-encoded");
    EXPECT_TRUE(app.get_property("absent", fallback, true) == fallback);
    EXPECT_TRUE(app.erase_property("base"));
    EXPECT_FALSE(app.erase_property("base"));
    EXPECT_FALSE(app.has_property("base"));
}

TEST(App, DumpOfAFreshObject)
{
    bg::App app;
    std::string dir = app.app_dir();
    EXPECT_EQ(dump_of(app),
        "------------ [App] ------------\n"
        ">> app_name      = test_bridge_app\n"
        ">> app_dir       = "
            + dir + "\n>> app_filepath  = " + dir
            + "test_bridge_app\n"
              ">> version       = \n"
              ">> organization  = \n"
              ">> release_time  = \n"
              ">> describe      = \n"
              "\n[Data] debug >>\n"
              "\n"
              "-------------------------------\n\n");
}

// The smallest component: only its logger matters to the application info.
class TestComponent : public bg::Interface {
public:
    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bg::Value process(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return {}; }
    bg::Value send(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return {}; }
    bool is_debug() override { return false; }
};

TEST(App, SettersLogOneDebugLineThroughTheOwner)
{
    struct Record {
        int level;
        std::string tag, text;
    };
    std::vector<Record> records;
    bg::log::hook([&](int level, const char* tag, const char* text) { records.push_back({ level, tag, text }); });
    bg::Logger logger("");
    TestComponent owner;
    owner.logger = &logger;
    {
        bg::App app(&owner);
        EXPECT_EQ(app.owner, &owner);
        app.set_name("Tavimeet");
        EXPECT_STREQ(app.name(), "Tavimeet");
        app.set_organization("example.com");
        app.set_property("k", bg::Value(1), false); // properties log nothing
    }
    bg::log::hook(nullptr);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].level, 5);
    EXPECT_EQ(records[0].tag, "bg");
    EXPECT_EQ(records[0].text, "[App] name=Tavimeet\n");
    EXPECT_EQ(records[1].text, "[App] organization=example.com\n");
}

} // namespace
