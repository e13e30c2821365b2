#include <bridge/cconsolelogger.h>
#include <bridge/consolemanager.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A temporary folder with fake helper scripts; each script copies the pipe to "<script>.out" and writes
// its argument to "<script>.arg".
class ConsoleLoggerTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tavicast-console-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        helper = makeScript("helper",
            std::string("echo \"$1\" > \"$0.arg\"\nexec cat \"") + CConsoleLogger::PipePrefix
                + "$1\" > \"$0.out\"\n");
    }

    void TearDown() override
    {
        unsetenv("ConsoleLoggerHelper");
        std::string command = "rm -rf '" + folder + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    std::string makeScript(const std::string& name, const std::string& body)
    {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), 0700);
        return path;
    }

    // Waits until the helper's copy of the pipe holds `expected` (the helper ends once the pipe is closed).
    std::string helperOutput(const std::string& script, const std::string& expected)
    {
        const auto giveUp = std::chrono::steady_clock::now() + kDeadline;
        std::string text;
        while ((text = readFile(script + ".out")) != expected && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return text;
    }

    std::string uniqueName(const char* tag)
    {
        static int counter = 0;
        return std::string(tag) + std::to_string(getpid()) + "_" + std::to_string(++counter);
    }

    std::string folder;
    std::string helper;
};

} // namespace

TEST_F(ConsoleLoggerTest, HeaderThenEveryPrintAsItsBytes)
{
    const std::string name = uniqueName("hdr");
    {
        CConsoleLogger console;
        ASSERT_EQ(console.Create("My title", 120, 40, name.c_str(), helper.c_str()), 0);
        EXPECT_EQ(console.Print("hello"), 5);
        EXPECT_EQ(console.Print("abcdef", 2), 2);
        EXPECT_EQ(console.Print(""), 0);
    }
    const char sent[] = "TITLE: My title\r\nBUFFER-SIZE: 120x40\r\n\0helloab";
    const std::string expected(sent, sizeof sent - 1);
    EXPECT_EQ(helperOutput(helper, expected), expected);
    EXPECT_EQ(readFile(helper + ".arg"), name + "\n");
    // Nothing is left in the file system.
    EXPECT_NE(access((CConsoleLogger::PipePrefix + name).c_str(), F_OK), 0);
}

TEST_F(ConsoleLoggerTest, BufferSizeOnlyWithBothDimensionsAndTitleDefaultsToTheName)
{
    const struct {
        int width;
        int height;
        const char* title;
        const char* sizeLine;
    } cases[] = {
        { -1, -1, "t", "" },
        { -1, 40, "t", "" },
        { 120, -1, "t", "" },
        { 0, 0, "t", "BUFFER-SIZE: 0x0\r\n" },
        { 80, 25, nullptr, "BUFFER-SIZE: 80x25\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const std::string name = uniqueName("size");
        const std::string script = makeScript(name, readFile(helper).substr(10));
        {
            CConsoleLogger console;
            ASSERT_EQ(console.Create(c.title, c.width, c.height, name.c_str(), script.c_str()), 0);
        }
        const std::string expected = "TITLE: " + (c.title ? std::string(c.title) : name) + "\r\n" + c.sizeLine
            + std::string(1, '\0');
        EXPECT_EQ(helperOutput(script, expected), expected);
    }
}

TEST_F(ConsoleLoggerTest, UnnamedConsoleUsesAddressAndTicks)
{
    CConsoleLogger console;
    ASSERT_EQ(console.Create(nullptr, -1, -1, nullptr, helper.c_str()), 0);
    const std::string prefix = "logger" + std::to_string(static_cast<long long>(intptr_t(&console))) + "_";
    std::string shortName = readFile(helper + ".arg");
    ASSERT_EQ(shortName.compare(0, prefix.size(), prefix), 0) << shortName;
    EXPECT_TRUE(testing::internal::RE::FullMatch(shortName.substr(prefix.size()), "[0-9]+\n")) << shortName;
}

// Another run of the program can hold the made-up name (same address, same millisecond): the console
// takes a later one instead of failing.
TEST_F(ConsoleLoggerTest, UnnamedConsoleMovesPastNamesTakenByAnotherProcess)
{
    CConsoleLogger console;
    const std::string prefix = "logger" + std::to_string(static_cast<long long>(intptr_t(&console))) + "_";
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long first = static_cast<unsigned long>(now.tv_sec) * 1000ul + now.tv_nsec / 1000000;
    std::vector<std::string> taken;
    for (unsigned long tick = first; tick < first + 300; ++tick) {
        taken.push_back(CConsoleLogger::PipePrefix + prefix + std::to_string(tick));
        ASSERT_EQ(mkfifo(taken.back().c_str(), 0600), 0);
    }
    const int created = console.Create("t", -1, -1, nullptr, helper.c_str());
    for (const std::string& path : taken)
        unlink(path.c_str());
    ASSERT_EQ(created, 0);
    const std::string shortName = readFile(helper + ".arg");
    ASSERT_EQ(shortName.compare(0, prefix.size(), prefix), 0) << shortName;
    EXPECT_GE(std::stoul(shortName.substr(prefix.size())), first + 300) << shortName;
    EXPECT_EQ(console.Print("x"), 1);
}

TEST_F(ConsoleLoggerTest, HelperFromTheEnvironmentWhenTheProgramCannotStart)
{
    const std::string name = uniqueName("env");
    const std::string missing = folder + "/no-such-helper";
    CConsoleLogger console;
    testing::internal::CaptureStderr();
    EXPECT_EQ(console.Create("x", -1, -1, name.c_str(), missing.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ConsoleLogger failed: Helper executable not found\n");
    EXPECT_EQ(console.Print("dropped"), -1);

    setenv("ConsoleLoggerHelper", helper.c_str(), 1);
    ASSERT_EQ(console.Create("x", -1, -1, name.c_str(), missing.c_str()), 0);
    EXPECT_EQ(readFile(helper + ".arg"), name + "\n");
}

TEST_F(ConsoleLoggerTest, RefusedNamesAndHelpersThatNeverConnect)
{
    const std::string longest(63 - strlen(CConsoleLogger::PipePrefix), 'n');
    const std::string quitter = makeScript("quitter", "exit 0\n");
    const std::string sleeper = makeScript("sleeper", "exec sleep 30\n");
    const std::string taken = uniqueName("taken");
    const std::string takenPath = CConsoleLogger::PipePrefix + taken;
    ASSERT_EQ(mkfifo(takenPath.c_str(), 0600), 0);

    CConsoleLogger::setConnectTimeout(200);
    const struct {
        std::string name;
        std::string program;
        const char* error;
    } cases[] = {
        { longest + "n", helper, "invalid pipe name" },
        { "a/b", helper, "invalid pipe name" },
        { taken, helper, "CreateNamedPipe failed" },
        { uniqueName("quit"), quitter, "ConnectNamedPipe failed" },
        { uniqueName("sleep"), sleeper, "ConnectNamedPipe failed" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CConsoleLogger console;
        testing::internal::CaptureStderr();
        EXPECT_EQ(console.Create("t", -1, -1, c.name.c_str(), c.program.c_str()), -1);
        EXPECT_EQ(
            testing::internal::GetCapturedStderr(), std::string("ConsoleLogger failed: ") + c.error + "\n");
        EXPECT_EQ(console.Print("x"), -1);
        if (c.name != taken) {
            EXPECT_NE(access((CConsoleLogger::PipePrefix + c.name).c_str(), F_OK), 0);
        }
    }
    unlink(takenPath.c_str());
    CConsoleLogger::setConnectTimeout(5000);
}

TEST_F(ConsoleLoggerTest, ConcurrentPrintsArriveWhole)
{
    const std::string name = uniqueName("many");
    const int kThreads = 4;
    const int kLines = 200;
    {
        CConsoleLogger console;
        ASSERT_EQ(console.Create("t", -1, -1, name.c_str(), helper.c_str()), 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&console, t] {
                const std::string line = std::string(100, char('a' + t)) + "\n";
                for (int i = 0; i < kLines; ++i)
                    console.Print(line.c_str());
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    const size_t header = strlen("TITLE: t\r\n") + 1;
    const size_t total = header + size_t(kThreads * kLines * 101);
    const auto giveUp = std::chrono::steady_clock::now() + kDeadline;
    std::string text;
    while ((text = readFile(helper + ".out")).size() < total && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(text.size(), total);
    std::istringstream lines(text.substr(header));
    std::string line;
    while (std::getline(lines, line))
        ASSERT_EQ(line, std::string(100, line[0]));
}

TEST_F(ConsoleLoggerTest, ManagerMakesEachConsoleOnceAndKeepsFailures)
{
    setenv("ConsoleLoggerHelper", helper.c_str(), 1);
    const std::string name = uniqueName("mgr");
    CConsoleLogger& console = ConsoleManager::instance().get(name.c_str());
    EXPECT_EQ(&ConsoleManager::instance().get(name.c_str()), &console);
    EXPECT_EQ(console.Print("via manager"), 11);

    unsetenv("ConsoleLoggerHelper");
    const std::string failing = uniqueName("fail");
    testing::internal::CaptureStderr();
    CConsoleLogger& inert = ConsoleManager::instance().get(failing.c_str());
    CConsoleLogger& again = ConsoleManager::instance().get(failing.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ConsoleLogger failed: Helper executable not found\n");
    EXPECT_EQ(&inert, &again);
    EXPECT_EQ(inert.Print("lost"), -1);
}

// The manager's name is the window title; the pipe is named by the console itself, so names that could not
// be a pipe name, and a name whose pipe is left over from another process, still get a working console.
TEST_F(ConsoleLoggerTest, ManagerNamesOnlyTheTitle)
{
    setenv("ConsoleLoggerHelper", helper.c_str(), 1);
    const std::string taken = uniqueName("taken");
    const std::string leftOver = CConsoleLogger::PipePrefix + taken;
    ASSERT_EQ(mkfifo(leftOver.c_str(), 0600), 0);
    const std::string names[] = { taken, uniqueName("with/slash"), uniqueName(std::string(60, 'n').c_str()) };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        CConsoleLogger& console = ConsoleManager::instance().get(name.c_str());
        ASSERT_EQ(console.Print("x"), 1);
        const std::string expected = "TITLE: " + name + "\r\n" + std::string(1, '\0') + "x";
        EXPECT_EQ(helperOutput(helper, expected), expected);
    }
    unlink(leftOver.c_str());
}
