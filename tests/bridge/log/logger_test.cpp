#include <bridge/logger.h>

#include "bridge/scratch_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>
#include <vector>

namespace {

const std::regex kHeader(R"(------------------------- \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class LoggerTest : public ::testing::Test {
protected:
    void TearDown() override { bg::log::hook(nullptr); }

    ScratchDir dir;
    std::string path = dir.file("Admin2026-12-10.log");
};

TEST_F(LoggerTest, WritesHeaderOnceThenRecordsAsFormatted)
{
    bg::Logger logger(path.c_str());
    EXPECT_EQ(logger.file(), nullptr);
    logger.log(2, "bg", "first %d\n", 1);
    logger.log(2, "bg", "second %s\n", "two");

    std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(lines[0], kHeader)) << lines[0];
    EXPECT_EQ(lines[1], "first 1");
    EXPECT_EQ(lines[2], "second two");
    EXPECT_EQ(logger.name(), "Admin2026-12-10");
    EXPECT_EQ(logger.path(), path);
}

TEST_F(LoggerTest, DropsRecordsAboveTheLevelAndOfOtherTags)
{
    struct Case {
        int level;
        const char* tag;
        bool written;
    };
    const Case cases[] = {
        { 2, "bg", true },
        { 3, "bg", false },
        { 4, "bg", false },
        { 5, "bg", false },
        { 2, "other", false },
        { 2, "BG", false },
        { 2, "", true },
        { 2, nullptr, true },
    };
    bg::Logger logger(path.c_str());
    logger.set_level(2);
    logger.set_tag("bg");
    EXPECT_STREQ(logger.tag(), "bg");
    int n = 0;
    for (const Case& c : cases)
        logger.log(c.level, c.tag, "record %d\n", n++);

    std::string text = read_file(path);
    n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        std::string line = "record " + std::to_string(n++) + "\n";
        EXPECT_EQ(text.find(line) != std::string::npos, c.written);
    }
    logger.set_tag("");
    EXPECT_STREQ(logger.tag(), "");
}

TEST_F(LoggerTest, BorrowedStreamKeepsTheFileUnopened)
{
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    {
        bg::Logger logger(path.c_str());
        logger.set_file(out);
        EXPECT_EQ(logger.file(), out);
        logger.log(2, "bg", "to the stream\n");
        logger.close(); // a borrowed stream stays set
        EXPECT_EQ(logger.file(), out);
        EXPECT_EQ(logger.level(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    rewind(out);
    char text[64] = {};
    fread(text, 1, sizeof text - 1, out);
    fclose(out);
    EXPECT_STREQ(text, "to the stream\n\n"); // the destructor ends with an empty line
}

TEST_F(LoggerTest, LevelZeroClosesAndTheNextOpeningWritesAnotherHeader)
{
    bg::Logger logger(path.c_str());
    logger.log(2, "bg", "one\n");
    logger.set_level(0);
    EXPECT_EQ(logger.level(), 0);
    EXPECT_EQ(logger.file(), nullptr);
    logger.set_level(2);
    logger.log(2, "bg", "two\n");

    std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[2], kHeader));
    EXPECT_EQ(lines[3], "two");
}

TEST_F(LoggerTest, UnopenableFileSendsRecordsToStderr)
{
    bg::Logger logger(dir.file("missing/folder/x.log").c_str());
    testing::internal::CaptureStderr();
    logger.log(2, "bg", "lost? %s\n", "no");
    std::string err = testing::internal::GetCapturedStderr();
    std::vector<std::string> lines = lines_of(err);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], kHeader));
    EXPECT_EQ(lines[1], "lost? no");
    EXPECT_EQ(logger.file(), stderr);
}

TEST_F(LoggerTest, LongRecordsAreCut)
{
    bg::Logger logger(path.c_str());
    logger.log(2, "bg", "%s", std::string(5000, 'x').c_str());
    std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::string(4094, 'x'));
}

TEST_F(LoggerTest, HookReceivesEveryLevelAndNothingReachesTheFile)
{
    bg::Logger logger(path.c_str());
    logger.set_level(2);
    std::vector<std::string> got;
    bg::log::hook([&](int level, const char* tag, const char* text) {
        got.push_back(std::to_string(level) + "|" + (tag ? tag : "") + "|" + text);
    });
    for (int level = 2; level <= 6; ++level)
        logger.log(level, "any", "L%d\n", level);
    bg::log::hook(nullptr);

    EXPECT_EQ(got,
        (std::vector<std::string> { "2|any|L2\n", "3|any|L3\n", "4|any|L4\n", "5|any|L5\n", "6|any|L6\n" }));
    EXPECT_FALSE(std::filesystem::exists(path));
    logger.log(2, "bg", "after\n");
    EXPECT_NE(read_file(path).find("after\n"), std::string::npos);
}

// Each thread writes its own numbered lines; the file must hold every line whole, once.
TEST_F(LoggerTest, ConcurrentWritersNeverTearLines)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    const std::string payload(200, '#');
    bg::Logger logger(path.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                logger.log(2, "bg", "t%d i%d %s end\n", t, i, payload.c_str());
        });
    for (std::thread& thread : threads)
        thread.join();

    std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), size_t(kThreads * kLines + 1));
    std::regex record("t(\\d) i(\\d+) #{200} end");
    std::map<int, int> next;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, record)) << lines[i];
        int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]++);
    }
}

TEST_F(LoggerTest, HookRecordsOfConcurrentThreadsDoNotMix)
{
    bg::Logger logger(path.c_str());
    std::atomic<int> bad { 0 };
    bg::log::hook([&](int, const char*, const char* text) {
        std::string s(text);
        if (s.size() != 102 || s.find_first_not_of(s[0]) != 100)
            ++bad;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            std::string line(100, char('a' + t));
            for (int i = 0; i < 500; ++i)
                logger.log(2, "bg", "%s\n\n", line.c_str());
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(bad, 0);
}

TEST(LoggerFactory, CreateAndDestroyClearThePointer)
{
    ScratchDir dir;
    bg::Abstract_Logger* logger = bg::log::create(dir.file("x.log").c_str());
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->owner, nullptr);
    EXPECT_EQ(logger->level(), 6);
    bg::log::destroy(&logger);
    EXPECT_EQ(logger, nullptr);
}

} // namespace
