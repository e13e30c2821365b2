#include "bridge/loader/module_fixture.h"

#include <bridge/dataauth.h>
#include <bridge/func_tracer.h>
#include <bridge/bridge_init.h>
#include <bridge/consolemanager.h>
#include <bridge/interface.h>
#include <bridge/value.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string order;

void start_up(const TempDir& dir)
{
    bg::SetConfigLogDir(dir.path().c_str());
    char arg0[] = "test_bridge_exit";
    char* argv[] = { arg0, nullptr };
    testing::internal::CaptureStderr();
    bg::InitBridge(1, argv);
    testing::internal::GetCapturedStderr();
}

// Exit functions run newest first while CD still exists; UninitBridge, added among them, runs last and once.
TEST(ExitList, RunsNewestFirstThenTearsDownOnce)
{
    TempDir dir;
    start_up(dir);
    ASSERT_NE(CD, nullptr);
    auto note
        = [](const char* what) { return [what] { order += what + std::string(CD ? "+" : "-") + ";"; }; };
    bg::atExit(note("a"));
    bg::atExit(bg::UninitBridge);
    bg::atExit(std::function<void()>()); // empty: skipped
    bg::atExit(note("b"));
    bg::atExit(note("c"));

    bg::UninitBridge();
    EXPECT_EQ(order, "c+;b+;a+;");
    EXPECT_EQ(CD, nullptr);

    // The list runs once per process: a new start-up's exit functions are not run by a later tear-down.
    start_up(dir);
    bg::atExit(note("d"));
    bg::UninitBridge();
    EXPECT_EQ(order, "c+;b+;a+;");
    EXPECT_EQ(CD, nullptr);
}

// Registered with the runtime by the first atExit: a process that ends without UninitBridge runs the list,
// and the UninitBridge on it tears the framework down.
TEST(ExitListDeathTest, RunsAtProcessExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    // Log lines go to the standard output, which the child joins to the standard error that is checked.
    std::filesystem::create_directories(dir.path() + "/conf");
    std::ofstream(dir.path() + "/conf/Admin.conf") << "#Bridge Config (#note)\nlog.stdout : true\n";
    EXPECT_EXIT(
        {
            dup2(2, 1);
            start_up(dir);
            bg::atExit(bg::UninitBridge);
            bg::atExit([] { fprintf(stderr, "exit function, CD %s\n", CD ? "set" : "gone"); });
            std::exit(0);
        },
        testing::ExitedWithCode(0), "exit function, CD set\n(.|\n)*\\[Admin\\] ::uninit end");
}

// What the tear-down uses lives until it has run, even when first used after the exit list was registered
// with the runtime (whose function-local statics made later are destroyed first): a traced section at the
// tracer's level, a module reading a secure property in its uninit, a log record for a console.
TEST(ExitListDeathTest, TearDownOutlivesTheRuntimesStatics)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    EXPECT_EXIT(
        {
            start_up(dir);
            bg::atExit(bg::UninitBridge);
            bg::atExit([] {
                CD->tracer->end(2, CD->tracer->begin("uninit", "module.cpp", 1, "at exit"));
                bg::Value plain = CD->data->unpack(CD->data->pack(bg::Value("secret")));
                ConsoleManager::instance().get("exit-tag").Print("x", 1);
                fprintf(stderr, "tear-down read %s\n", plain.toStdString("").c_str());
            });
            // First uses, after the registration above.
            CD->tracer->enable(true);
            CD->tracer->end(2, CD->tracer->begin("main", "main.cpp", 1, ""));
            CD->data->pack(bg::Value("x"));
            setenv("ConsoleLoggerHelper", (dir.path() + "/no-helper").c_str(), 1);
            ConsoleManager::instance().get("early-tag");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "tear-down read secret\n");
}

} // namespace
