#include <bridge/func_tracer.h>

#include "bridge/scratch_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <unistd.h>
#include <vector>

namespace {

std::string thread_column()
{
    char column[16];
    snprintf(column, sizeof column, "%6d", int(gettid()));
    return column;
}

// Elapsed times vary from run to run: "(12.345us)" becomes "(T)".
std::string without_times(const std::string& text)
{
    return std::regex_replace(text, std::regex(R"(\(\d+\.\d{3}us\))"), "(T)");
}

class FuncTracerTest : public ::testing::Test {
protected:
    void TearDown() override { bg::trace::hook(nullptr); }

    ScratchDir dir;
    std::string path = dir.file("Admin2026-12-10.tcr");
};

TEST_F(FuncTracerTest, NestedSectionsGolden)
{
    {
        bg::Func_Tracer tracer(path.c_str(), "Admin");
        int64_t a = tracer.begin("outer", "admin.cpp", 10, "uninit");
        EXPECT_GT(a, 0);
        int64_t b = tracer.begin("inner", "loader.cpp", 20, nullptr);
        tracer.end(21, b);
        tracer.end(11, a);
    }
    std::string text = read_file(path);
    std::smatch header;
    ASSERT_TRUE(std::regex_search(
        text, header, std::regex(R"(^===\+===\+===\+===\+===\+===\+=== \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\n)")));
    const std::string t = thread_column();
    EXPECT_EQ(without_times(text.substr(size_t(header.length()))),
        t + "|   |__[10]admin.cpp uninit\n" + t + "|   |   |__[20]loader.cpp \n" + t
            + "|   |   |__[21]@ (T)\n" + t + "|   |__[11]@ (T)\n" + "\n");
}

TEST_F(FuncTracerTest, DisabledTracerWritesNothing)
{
    {
        bg::Func_Tracer tracer(path.c_str(), "Admin");
        tracer.enable(false);
        EXPECT_EQ(tracer.begin("f", "a.cpp", 1, ""), 0);
        tracer.end(2, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FuncTracerTest, DeepNestingIsCappedWithTwoDots)
{
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    {
        bg::Func_Tracer tracer(path.c_str(), "Admin");
        tracer.set_file(out);
        for (int depth = 1; depth <= 41; ++depth)
            tracer.begin("f", "deep.cpp", depth, "");
    }
    fflush(out);
    std::string text(size_t(ftell(out)), '\0');
    rewind(out);
    fread(text.data(), 1, text.size(), out);
    fclose(out);

    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 42u) << "41 records and the closing empty line";
    std::string indent;
    for (int i = 0; i < 40; ++i)
        indent += "|   ";
    EXPECT_EQ(lines[39], thread_column() + indent + "|__[40]deep.cpp ");
    EXPECT_EQ(lines[40], thread_column() + indent + "..|__[41]deep.cpp ");
    EXPECT_FALSE(std::filesystem::exists(path)) << "a borrowed stream replaces the file";
}

TEST_F(FuncTracerTest, UnmatchedEndNeverDrivesTheDepthNegative)
{
    std::vector<std::string> records;
    bg::trace::hook([&](const char*, uint32_t, const char* text) { records.push_back(text); });
    bg::Func_Tracer tracer(path.c_str(), "Admin");
    tracer.end(1, 0);
    tracer.end(2, 0);
    tracer.begin("f", "a.cpp", 3, "");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2], thread_column() + "|   |__[3]a.cpp \n");
}

TEST_F(FuncTracerTest, HookReceivesRecordsEvenWhenDisabled)
{
    struct Record {
        std::string name;
        uint32_t thread;
        std::string text;
    };
    std::vector<Record> records;
    bg::trace::hook([&](const char* name, uint32_t thread, const char* text) {
        records.push_back({ name, thread, text });
    });
    bg::Func_Tracer tracer(path.c_str(), "Memvia");
    tracer.enable(false);
    int64_t start = tracer.begin("f", "m.cpp", 5, "x");
    EXPECT_GT(start, 0);
    tracer.end(6, start);
    bg::trace::hook(nullptr);

    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "Memvia");
    EXPECT_EQ(records[0].thread, uint32_t(gettid()));
    EXPECT_EQ(records[0].text, thread_column() + "|   |__[5]m.cpp x\n");
    EXPECT_EQ(without_times(records[1].text), thread_column() + "|   |__[6]@ (T)\n");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FuncTracerTest, LongRecordsAreCutButKeepTheirLineEnd)
{
    std::vector<std::string> records;
    bg::trace::hook([&](const char*, uint32_t, const char* text) { records.push_back(text); });
    bg::Func_Tracer tracer(path.c_str(), "Admin");
    tracer.begin("f", "a.cpp", 1, std::string(1000, 'x').c_str());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].size(), 510u);
    EXPECT_EQ(records[0].back(), '\n');
}

TEST_F(FuncTracerTest, ScopeTracesEntryAndExit)
{
    std::vector<std::string> records;
    bg::trace::hook([&](const char*, uint32_t, const char* text) { records.push_back(text); });
    bg::Func_Tracer tracer(path.c_str(), "Admin");
    {
        bg::Func_Trace_Scope scope(&tracer, "f", "s.cpp", 7);
        EXPECT_EQ(records.size(), 1u);
    }
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(without_times(records[1]), thread_column() + "|   |__[7]@ (T)\n");
}

} // namespace
