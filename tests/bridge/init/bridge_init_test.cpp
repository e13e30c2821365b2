#include "bridge/loader/module_fixture.h"

#include <bridge/abstract_logger.h>
#include <bridge/admin.h>
#include <bridge/bridge_b.h>
#include <bridge/bridge_init.h>
#include <bridge/cconsolelogger.h>
#include <bridge/instance.h>
#include <bridge/logger.h>
#include <bridge/signal.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

TEST(BridgeInit, NoRootComponentBeforeStartUp)
{
    EXPECT_EQ(CD, nullptr);
    EXPECT_FALSE(Bg_Is_Aborted);
    EXPECT_EQ(bg::LoadModules(nullptr, 0, true), 0);
    EXPECT_FALSE(bg::LoadModule(kGoodModule, true));
    EXPECT_FALSE(bg::StartModules());
    bg::UninitBridge(); // nothing to tear down
    EXPECT_EQ(CD, nullptr);
}

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        bg::SetConfigLogDir(dir.path().c_str());
        testing::internal::CaptureStderr();
        bg::InitBridge(1, argv);
        init_diagnostics = testing::internal::GetCapturedStderr();
        ASSERT_NE(CD, nullptr);
    }
    void TearDown() override
    {
        bg::UninitBridge();
        bg::SetConfigLogDir(nullptr);
    }

    char arg0[32] = "test_bridge_init";
    char* argv[2] = { arg0, nullptr };
    TempDir dir;
    std::string init_diagnostics;
};

TEST_F(StartUpTest, AdminIsPublishedInitialisedAndStarted)
{
    EXPECT_STREQ(CD->name, "Admin");
    EXPECT_NE(dynamic_cast<bg::Admin*>(CD), nullptr);
    EXPECT_EQ(bg::getInstance("Admin"), CD);
    EXPECT_NE(CD->state & bg::Interface::STATE_INITED, 0u);
    EXPECT_NE(CD->state & bg::Interface::STATE_STARTED, 0u);
    EXPECT_EQ(CD->state & bg::Interface::STATE_ABORTING, 0u);
    EXPECT_TRUE(CD->app && CD->logger && CD->config && CD->tracer && CD->data && CD->private_data
        && CD->signal && CD->private_signal && CD->argv && CD->utils && CD->crypt && CD->mempool
        && CD->channel);

    void* published = nullptr;
    bg::GetEnvPtr("Bridge_Main_CD", &published);
    EXPECT_EQ(published, CD);
    ASSERT_NE(getenv("ZovBridge"), nullptr);
    EXPECT_STRNE(getenv("ZovBridge"), "");
    EXPECT_STREQ(getenv("ZovBgConfigDir"), dir.path().c_str());
    EXPECT_NE(init_diagnostics.find("[Admin] ::init OK"), std::string::npos) << init_diagnostics;
}

TEST_F(StartUpTest, AdminConfigurationGetsItsDefaults)
{
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/log"));
    EXPECT_EQ(read_text(dir.path() + "/conf/Admin.conf"),
        "#Bridge Config (#note)\n"
        "log.level : 2\n"
        "log.stdout : false\n"
        "log.tag : \n");
    EXPECT_EQ(CD->logger->level(), 2);
    EXPECT_STREQ(CD->logger->tag(), "");
    EXPECT_NE(CD->logger->file(), stdout);
}

TEST_F(StartUpTest, StoredLogSettingsApply)
{
    bg::UninitBridge();
    std::ofstream(dir.path() + "/conf/Admin.conf") << "#Bridge Config (#note)\n"
                                                      "log.level : 5\n"
                                                      "log.stdout : true\n"
                                                      "log.tag : net\n";
    testing::internal::CaptureStderr();
    bg::InitBridge(1, argv);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(CD, nullptr);
    EXPECT_EQ(CD->logger->level(), 5);
    EXPECT_STREQ(CD->logger->tag(), "net");
    EXPECT_EQ(CD->logger->file(), stdout);
}

TEST_F(StartUpTest, SecondInitOnlyClearsTheAbortFlag)
{
    bg::Interface* first = CD;
    Bg_Is_Aborted = true;
    EXPECT_EQ(bg::InitBridge(1, argv), 0);
    EXPECT_EQ(CD, first);
    EXPECT_FALSE(Bg_Is_Aborted);
    EXPECT_EQ(bg::getInstanceCount(), 1);
}

TEST_F(StartUpTest, SettingsAfterStartUpAreRefused)
{
    testing::internal::CaptureStderr();
    bg::SetConfigLogDir("/somewhere/else");
    bg::SetEnableRegEdit(true, "Software\\Other");
    const std::string banners = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(getenv("ZovBgConfigDir"), dir.path().c_str());
    EXPECT_STREQ(bg::RegEditPath(), "");
    EXPECT_NE(banners.find("***********************************\n"
                           "[ERROR]: 'SetConfigLogDir(..)' must before 'InitBridge(..)'\n"
                           "***********************************\n"),
        std::string::npos)
        << banners;
    EXPECT_NE(
        banners.find("[ERROR]: 'SetEnableRegEdit(..)' must before 'InitBridge(..)'\n"), std::string::npos);
}

TEST_F(StartUpTest, TearDownUninitialisesModulesOnceAndClearsEverything)
{
    const std::string module = bin_dir() + kGoodModule;
    const size_t before = module_calls(module).size();
    ASSERT_TRUE(bg::LoadModule(kGoodModule, true));
    auto* loaded = static_cast<bg::Interface*>(bg::getInstance("TestGood"));
    ASSERT_NE(loaded, nullptr);

    bg::UninitBridge();
    EXPECT_EQ(CD, nullptr);
    EXPECT_TRUE(Bg_Is_Aborted);
    EXPECT_EQ(bg::getInstanceCount(), 0);
    EXPECT_EQ(module_calls(module).substr(before), "init(services);start;uninit;");
    // The module object stays (its library is never unloaded), with its services released.
    EXPECT_NE(loaded->state & bg::Interface::STATE_ABORTING, 0u);
    EXPECT_EQ(loaded->logger, nullptr);
    EXPECT_EQ(loaded->app, nullptr);

    bg::UninitBridge();
    EXPECT_EQ(module_calls(module).substr(before), "init(services);start;uninit;");

    // A new start-up after a tear-down makes a new admin.
    testing::internal::CaptureStderr();
    bg::InitBridge(1, argv);
    testing::internal::GetCapturedStderr();
    EXPECT_NE(CD, nullptr);
    EXPECT_FALSE(Bg_Is_Aborted);
}

// A module that outlives a tear-down (its library is never unloaded) must not reach the deleted admin.
TEST_F(StartUpTest, ModuleSendAfterTearDownIsRefused)
{
    struct Module : bg::Bridge_B {
        using Bridge_B::Bridge_B;
        bool init() override { return true; }
        bool start() override { return true; }
        bool uninit() override { return true; }
        bg::Value process(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return {}; }
        bool is_debug() override { return false; }
    };
    Module stale(CD);
    bg::UninitBridge();
    bool called = false;
    const bg::MsgCallback cb = [&called](const bg::Value&) { called = true; };
    bg::Value reply = stale.send("Admin", 1, bg::Value(1), cb);
    EXPECT_TRUE(reply.isError());
    EXPECT_EQ(reply.errorID(), -1001);

    testing::internal::CaptureStderr();
    bg::InitBridge(1, argv); // a new admin, not the one the module was given
    testing::internal::GetCapturedStderr();
    reply = stale.send("Admin", 1, bg::Value(1), cb);
    EXPECT_TRUE(reply.isError());
    EXPECT_EQ(reply.errorID(), -1001);
    EXPECT_FALSE(called);
}

TEST_F(StartUpTest, ErrorHandlerGetsTheSignalledText)
{
    std::vector<std::string> texts;
    bg::RegistBgErrHandle([&texts](const char* text) { texts.push_back(text ? text : "<null>"); });
    bool replied = false;
    CD->signal->emit("BgError", bg::Value("disk full"), [&replied](const bg::Value&) { replied = true; });
    CD->signal->emit("BgError", bg::Value(7), nullptr);
    const unsigned char block[] = { 'd', 'i', 's', 'k' }; // no terminating zero
    CD->signal->emit("BgError", bg::Value(block, int(sizeof block)), nullptr);
    EXPECT_EQ(texts, std::vector<std::string>({ "disk full", "", "disk" }));
    EXPECT_FALSE(replied);
}

// Log records go whole to the console window named after their tag, through the console helper.
TEST_F(StartUpTest, MultiConsoleRoutesLogRecordsByTag)
{
    const std::string helper = dir.file("helper");
    std::ofstream(helper) << "#!/bin/sh\nexec cat \"" << CConsoleLogger::PipePrefix << "$1\" > \"$0.out\"\n";
    chmod(helper.c_str(), 0700);
    setenv("ConsoleLoggerHelper", helper.c_str(), 1);
    const std::string tag = "initconsole" + std::to_string(getpid());

    bg::StartMultiConsole(false, true, false);
    CD->logger->log(5, tag.c_str(), "record for %s\n", "the console");
    bg::log::hook(nullptr);
    unsetenv("ConsoleLoggerHelper");

    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string copied;
    while ((copied = read_text(helper + ".out")).find("record for the console\n") == std::string::npos
        && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(copied.find("TITLE: " + tag), std::string::npos) << copied;
    EXPECT_NE(copied.find("record for the console\n"), std::string::npos) << copied;
}

TEST(RegistryMode, KeptOnlyWhenSwitchedOn)
{
    bg::SetEnableRegEdit(true, "Software\\Tavicast");
    EXPECT_STREQ(bg::RegEditPath(), "Software\\Tavicast");
    bg::SetEnableRegEdit(false, "Software\\Tavicast");
    EXPECT_STREQ(bg::RegEditPath(), "");
    bg::SetEnableRegEdit(true, nullptr);
    EXPECT_STREQ(bg::RegEditPath(), "");
    bg::SetEnableRegEdit(false, nullptr);
}

TEST(EnvPointer, RoundTripOnlyWithinTheProcess)
{
    int target = 0;
    ASSERT_EQ(bg::SetEnvPtr("tavicast_test_ptr", &target), 0);
    void* read = nullptr;
    bg::GetEnvPtr("tavicast_test_ptr", &read);
    EXPECT_EQ(read, &target);
    bg::GetEnvPtr("tavicast_test_ptr", nullptr); // no place to write: nothing happens

    const std::string other_process = "0x1234:" + std::to_string(getpid() + 1);
    const std::string own_process = "0x1234:" + std::to_string(getpid());
    const std::string with_sign = "0x-1234:" + std::to_string(getpid());
    const std::string trailing = own_process + "x";
    struct Case {
        const char* label;
        const char* text; // null: the variable is absent
        void* expected;
    };
    const Case cases[] = {
        { "absent", nullptr, nullptr },
        { "own process", own_process.c_str(), reinterpret_cast<void*>(0x1234) },
        { "another process", other_process.c_str(), nullptr },
        { "no process id", "0x1234", nullptr },
        { "not a pointer", "hello", nullptr },
        { "sign", with_sign.c_str(), nullptr },
        { "trailing text", trailing.c_str(), nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.text)
            setenv("tavicast_test_ptr", c.text, 1);
        else
            unsetenv("tavicast_test_ptr");
        void* out = &target;
        bg::GetEnvPtr("tavicast_test_ptr", &out);
        EXPECT_EQ(out, c.expected);
    }
    unsetenv("tavicast_test_ptr");
    EXPECT_EQ(bg::SetEnvPtr("bad=name", &target), -1);
}

} // namespace
