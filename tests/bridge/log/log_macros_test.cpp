// The log statements against a small component of the test's own: any type with `logger` and `utils` works.
#include <bridge/abstract_logger.h>
#include <bridge/abstract_utils.h>

namespace {
struct TestComponent {
    bg::Abstract_Logger* logger = nullptr;
    bg::Abstract_Utils* utils = nullptr;
};
TestComponent* test_component = nullptr;
} // namespace

#define BG_LOG_COMPONENT test_component
#include <bridge/bg_log.h>
#include <bridge/logger.h>

#include <gtest/gtest.h>

#include <regex>
#include <vector>

namespace {

struct Record {
    int level;
    std::string tag;
    std::string text;
};

class LogMacrosTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        component.logger = &logger;
        test_component = &component;
        bg::log::hook([this](int level, const char* tag, const char* text) {
            records.push_back({ level, tag, text });
        });
    }
    void TearDown() override
    {
        bg::log::hook(nullptr);
        test_component = nullptr;
        CD = nullptr;
    }
    // The statements check only that a root component exists; its type is not touched.
    void start() { CD = reinterpret_cast<bg::Interface*>(&component); }

    bg::Logger logger { "" };
    TestComponent component;
    std::vector<Record> records;
};

std::string expected_tail(char letter, int line, const std::string& message)
{
    char text[256];
    snprintf(text, sizeof text, "[%c][bg] %s %-4d: \"%s\"\n", letter, "log_macros_test.cpp", line,
        message.c_str());
    return text;
}

TEST_F(LogMacrosTest, LinesHaveTheSystemForm)
{
    start();
    int lines[4];
    lines[0] = __LINE__ + 1;
    BG_LOGE("[bg] 路径打开失败：%s", "/x/Memvia.so");
    lines[1] = __LINE__ + 1;
    BG_LOGW("joined %d as %s", 7, "host");
    lines[2] = __LINE__ + 1;
    BG_LOGI("no arguments");
    lines[3] = __LINE__ + 1;
    BG_LOGD("%lld ms", 12345678901LL);

    ASSERT_EQ(records.size(), 4u);
    const struct {
        int level;
        char letter;
        const char* message;
    } expected[] = {
        { 2, 'E', "[bg] 路径打开失败：/x/Memvia.so" },
        { 3, 'W', "joined 7 as host" },
        { 4, 'I', "no arguments" },
        { 5, 'D', "12345678901 ms" },
    };
    const std::regex time(R"(\d{4}-\d\d:\d\d:\d\d)");
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].level, expected[i].level);
        EXPECT_EQ(records[i].tag, "bg");
        const std::string& text = records[i].text;
        ASSERT_GE(text.size(), 13u);
        EXPECT_TRUE(std::regex_match(text.substr(0, 13), time)) << text;
        EXPECT_EQ(text.substr(13), expected_tail(expected[i].letter, lines[i], expected[i].message));
    }
}

TEST_F(LogMacrosTest, SkippedWhileThereIsNoRootComponent)
{
    BG_LOGE("before start-up %d", 1);
    EXPECT_TRUE(records.empty());
    start();
    component.logger = nullptr;
    BG_LOGE("component without logger");
    EXPECT_TRUE(records.empty());
}

TEST_F(LogMacrosTest, FileGetsTheLevelsAtOrBelowTheMaximum)
{
    bg::log::hook(nullptr);
    start();
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    logger.set_file(out);
    logger.set_level(2);
    BG_LOGD("dropped");
    BG_LOGE("kept %s", "line");
    fflush(out);
    std::string text(size_t(ftell(out)), '\0');
    rewind(out);
    fread(text.data(), 1, text.size(), out);
    logger.set_file(nullptr);
    fclose(out);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("[E][bg] log_macros_test.cpp "), std::string::npos) << text;
    EXPECT_NE(text.find(": \"kept line\"\n"), std::string::npos) << text;
}

TEST_F(LogMacrosTest, TimeComesFromTheComponentsUtilities)
{
    start();
    component.utils = bg::utils::instance();
    BG_LOGI("with utilities");
    component.utils = nullptr;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(std::regex_match(records[0].text.substr(0, 13), std::regex(R"(\d{4}-\d\d:\d\d:\d\d)")));
    EXPECT_EQ(records[0].text.substr(13, 28), "[I][bg] log_macros_test.cpp ");
}

TEST(LogBaseName, CutsAtTheLastSeparatorOfEitherKind)
{
    static_assert(bg::log::base_name("a/b/c.cpp")[0] == 'c');
    EXPECT_STREQ(bg::log::base_name("/src/bridge/loader/admin.cpp"), "admin.cpp");
    EXPECT_STREQ(bg::log::base_name("D:\\src\\main.cpp"), "main.cpp");
    EXPECT_STREQ(bg::log::base_name("mixed/dir\\file.cpp"), "file.cpp");
    EXPECT_STREQ(bg::log::base_name("plain.cpp"), "plain.cpp");
}

} // namespace
