#include "bridge/loader/module_fixture.h"

#include <bridge/abstract_config.h>
#include <bridge/abstract_logger.h>
#include <bridge/admin.h>
#include <bridge/bridge_init.h>
#include <bridge/data.h>
#include <bridge/dataauth.h>
#include <bridge/instance.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        bg::SetConfigLogDir(dir.path().c_str());
        char arg0[] = "test_admin";
        char* argv[] = { arg0, nullptr };
        bg::InitBridge(1, argv);
        ASSERT_NE(CD, nullptr);
        for (const char* module : { kGoodModule, kRefusingModule, kDebugModule })
            baseline[module] = module_calls(bin_dir() + module).size();
    }
    void TearDown() override
    {
        bg::UninitBridge();
        bg::SetConfigLogDir(nullptr);
    }

    // What a built test module recorded during this test (earlier tests of this process may have used it).
    std::string calls_of(const char* module)
    {
        return module_calls(bin_dir() + module).substr(baseline[module]);
    }

    static uint32_t id_of(void* component) { return static_cast<bg::Interface*>(component)->state & 0xffffu; }

    // A copy of the working module under another name in the test's folder.
    std::string copy_of_good_module(const std::string& name)
    {
        std::string path = dir.file(name);
        std::filesystem::copy_file(bin_dir() + kGoodModule, path);
        return path;
    }

    TempDir dir;
    std::map<std::string, size_t> baseline;
};

TEST_F(LoaderTest, LoadsOnlyUsableModules)
{
    const std::string wrong_suffix = copy_of_good_module("libtest_module_good.so.txt");
    const char* names[]
        = { kGoodModule, kRefusingModule, kDebugModule, "libnothing_here.so", wrong_suffix.c_str() };

    testing::internal::CaptureStderr();
    EXPECT_EQ(bg::LoadModules(names, 5, false), 1);
    const std::string diagnostics = testing::internal::GetCapturedStderr();

    EXPECT_NE(bg::getInstance("TestGood"), nullptr);
    EXPECT_EQ(bg::getInstance("TestRefuse"), nullptr);
    EXPECT_EQ(bg::getInstance("TestDebug"), nullptr);
    EXPECT_EQ(bg::getInstanceCount(), 2); // "Admin" and "TestGood"

    // Services are in place before init, and a module refused at init loses them before it is deleted.
    EXPECT_EQ(calls_of(kGoodModule), "init(services);");
    EXPECT_EQ(calls_of(kRefusingModule), "init(services);uninit;deleted;");
    EXPECT_EQ(calls_of(kDebugModule), "");
    EXPECT_NE(diagnostics.find("[Error - load lib] main.exe is 'release', module 'TestDebug' is 'debug'"),
        std::string::npos)
        << diagnostics;
}

// Each module has services of its own, with files named after it, and shares the admin's common ones.
TEST_F(LoaderTest, ModulesGetOwnServicesAndShareTheCommonOnes)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, false));
    auto* module = static_cast<bg::Interface*>(bg::getInstance("TestGood"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->app, CD->app);
    EXPECT_EQ(module->signal, CD->signal);
    EXPECT_EQ(module->channel, CD->channel);
    EXPECT_NE(module->logger, CD->logger);
    EXPECT_NE(module->config, CD->config);
    EXPECT_NE(module->private_data, CD->private_data);
    EXPECT_NE(module->private_signal, CD->private_signal);
    EXPECT_NE(module->mempool, CD->mempool);

    EXPECT_EQ(module->logger->path().rfind(dir.path() + "/log/TestGood", 0), 0u) << module->logger->path();
    EXPECT_STREQ(module->config->path(), (dir.path() + "/conf/TestGood.conf").c_str());
    EXPECT_EQ(module->logger->level(), CD->logger->level());

    // The module's data view writes into the store that every component reads.
    ASSERT_TRUE(module->data->set_data("shared.key", bg::Value(7)));
    EXPECT_EQ(CD->data->get_data("shared.key", bg::Value()).toInt(), 7);
    EXPECT_FALSE(module->private_data->isContains("shared.key"));
}

TEST_F(LoaderTest, ModuleFoundByPathInAnyCaseOfSuffixAndLoadedAgain)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, false));
    void* first = bg::getInstance("TestGood");
    // Mixed separators and an upper-case suffix; a second copy of the same module replaces the entry.
    const std::string upper = copy_of_good_module("LIBGOOD.SO");
    const std::string mixed = dir.path() + "\\\\/LIBGOOD.SO";
    ASSERT_TRUE(bg::LoadModule(mixed.c_str(), false));
    void* second = bg::getInstance("TestGood");
    EXPECT_NE(second, first);
    EXPECT_EQ(id_of(second), id_of(first) + 1);
    EXPECT_EQ(bg::getInstanceCount(), 2);

    // Both objects are uninitialised once at tear-down, the replaced one too.
    bg::UninitBridge();
    EXPECT_EQ(calls_of(kGoodModule), "init(services);uninit;");
    EXPECT_EQ(module_calls(upper), "init(services);uninit;");
}

TEST_F(LoaderTest, CountZeroOrNegativeLoadsNothing)
{
    EXPECT_EQ(bg::LoadModules(nullptr, 0, false), 0);
    const char* names[] = { kGoodModule };
    EXPECT_EQ(bg::LoadModules(names, -1, false), 0);
    EXPECT_EQ(bg::getInstanceCount(), 1);
}

TEST_F(LoaderTest, MissingModuleIsLoggedToTheDatedLogFile)
{
    EXPECT_FALSE(bg::LoadModule("libnothing_here.so", false));
    EXPECT_EQ(bg::getInstanceCount(), 1);

    char date[16];
    time_t now = time(nullptr);
    struct tm local { };
    localtime_r(&now, &local);
    strftime(date, sizeof date, "%Y-%m-%d", &local);
    const std::string log = read_text(dir.path() + "/log/Admin" + date + ".log");
    EXPECT_EQ(log.rfind("-------------------------", 0), 0u) << log;
    EXPECT_NE(log.find("[E][bg] admin_modules.cpp"), std::string::npos) << log;
    EXPECT_NE(log.find("\"[bg] 路径打开失败：" + bin_dir() + "libnothing_here.so\""), std::string::npos)
        << log;
}

TEST_F(LoaderTest, StartRunsOnlyComponentsNotYetStarted)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, true));
    EXPECT_EQ(calls_of(kGoodModule), "init(services);start;");
    EXPECT_TRUE(bg::StartModules());
    EXPECT_EQ(calls_of(kGoodModule), "init(services);start;");

    const std::string copy = copy_of_good_module("libcopy.so");
    ASSERT_TRUE(bg::LoadModule(copy.c_str(), false));
    EXPECT_EQ(module_calls(copy), "init(services);");
    EXPECT_TRUE(bg::StartModules());
    EXPECT_EQ(module_calls(copy), "init(services);start;");
    EXPECT_EQ(calls_of(kGoodModule), "init(services);start;");
    EXPECT_NE(
        static_cast<bg::Interface*>(bg::getInstance("TestGood"))->state & bg::Interface::STATE_STARTED, 0u);
}

TEST_F(LoaderTest, CommandsRoundTripThroughTheAdmin)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, true));
    std::vector<std::string> replies;
    auto collect = [&replies](const bg::Value& reply) { replies.push_back(reply.toString("<none>")); };

    bg::Value result = CD->send("TestGood", 1, bg::Value("ping"), collect);
    EXPECT_EQ(result.toInt(), 42);
    EXPECT_EQ(replies, std::vector<std::string>({ "reply:ping" }));

    // The module sends to the admin through its own send: the admin echoes and answers with itself.
    testing::internal::CaptureStderr();
    result = CD->send("TestGood", 2, bg::Value("Admin"), collect);
    const std::string echo = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.type(), bg::Value::VT_VOID);
    EXPECT_EQ(result.toVoid(), static_cast<void*>(CD));
    EXPECT_EQ(replies.back(), "hello");
    // The echo names the message's type and length, never its text.
    EXPECT_NE(echo.find("[Admin]::process() : from=TestGood, id=7, msg=(type 9, 5 bytes)\n"), std::string::npos)
        << echo;
    EXPECT_EQ(echo.find("hello"), std::string::npos) << echo;
    EXPECT_EQ(calls_of(kGoodModule), "init(services);start;process(Admin,1);process(Admin,2);");
}

TEST_F(LoaderTest, UnknownTargetGivesErrorWithoutCallback)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, true));
    int callbacks = 0;
    auto count = [&callbacks](const bg::Value&) { ++callbacks; };
    struct Case {
        const char* sender;
        const char* target;
    };
    for (const Case& c : { Case { "admin", "Memvia" }, Case { "module", "Nobody" } }) {
        SCOPED_TRACE(c.sender);
        testing::internal::CaptureStderr();
        bg::Value result = std::string(c.sender) == "admin"
            ? CD->send(c.target, 100, bg::Value(), count)
            : CD->send("TestGood", 2, bg::Value(c.target), count);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(result.isError());
        EXPECT_EQ(result.errorID(), -1003);
        EXPECT_STREQ(result.errorMsg(), "module not exsit");
        EXPECT_NE(diagnostics.find(std::string("=== Admin: module (") + c.target + ") not exist !! ERROR !"),
            std::string::npos);
    }
    EXPECT_EQ(callbacks, 0);
}

TEST_F(LoaderTest, ModuleWithoutAdminAnswersAdminIsNull)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, false));
    void* handle = dlopen((bin_dir() + kGoodModule).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto make_orphan = reinterpret_cast<bg::Interface* (*)()>(dlsym(handle, "make_orphan"));
    ASSERT_NE(make_orphan, nullptr);
    bool called = false;
    bg::Value result
        = make_orphan()->send("Admin", 1, bg::Value(), [&called](const bg::Value&) { called = true; });
    EXPECT_EQ(result.errorID(), -1001);
    EXPECT_STREQ(result.errorMsg(), "Admin is null");
    EXPECT_FALSE(called);
}

// Other objects in the registry are neither messaged, started, aborted nor uninitialised as components.
TEST_F(LoaderTest, ForeignRegistryEntriesAreNotComponents)
{
    unsigned char foreign[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    const std::vector<unsigned char> before(foreign, foreign + 8);
    bg::setInstance("Foreign", foreign);
    ASSERT_TRUE(bg::LoadModule(kGoodModule, true));
    EXPECT_TRUE(bg::StartModules());

    testing::internal::CaptureStderr();
    bg::Value result = CD->send("Foreign", 1, bg::Value(), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.errorID(), -1003);

    bg::UninitBridge();
    EXPECT_EQ(std::vector<unsigned char>(foreign, foreign + 8), before);
    EXPECT_EQ(calls_of(kGoodModule), "init(services);start;uninit;");
}

TEST_F(LoaderTest, RegistryListingShowsComponentStates)
{
    ASSERT_TRUE(bg::LoadModule(kGoodModule, false));
    int foreign = 0;
    bg::setInstance("Foreign", &foreign);
    const std::string listing = dir.file("listing.txt");
    FILE* out = fopen(listing.c_str(), "w");
    ASSERT_NE(out, nullptr);
    CD->logger->set_file(out);
    CD->logger->set_level(5);
    bg::showAllInstance(nullptr);
    CD->logger->set_file(nullptr);
    fclose(out);

    const std::string text = read_text(listing);
    EXPECT_NE(text.find("[D][bg] instance_show.cpp"), std::string::npos) << text;
    const size_t header = text.find("\"=========== allInstance [-]==========\"");
    const size_t admin_line = text.find("\"Instance: Admin,  inited=1, started=1\"");
    const size_t module_line = text.find("\"Instance: TestGood,  inited=1, started=0\"");
    const size_t footer = text.find("\"======================================\"");
    EXPECT_NE(header, std::string::npos) << text;
    EXPECT_LT(header, admin_line);
    EXPECT_LT(admin_line, module_line);
    EXPECT_LT(module_line, footer);
    EXPECT_NE(footer, std::string::npos);
    EXPECT_EQ(text.find("Foreign"), std::string::npos) << text;
}

} // namespace

namespace {

// Sets an environment variable for the scope of a test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : name_(name)
    {
        const char* old = getenv(name);
        had_ = old != nullptr;
        old_ = old ? old : "";
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(ConfigDirTest, FirstWritableCandidateWins)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("xdg"));
    std::filesystem::create_directories(dir.file("home"));
    std::ofstream(dir.file("plain")) << "not a folder";
    const std::string none;
    struct Case {
        const char* label;
        std::string setting;
        std::string xdg;
        std::string expected;
    };
    const Case cases[] = {
        { "configured folder, created", dir.file("cfg"), dir.file("xdg"), dir.file("cfg") },
        { "configured folder, separators normalised", dir.path() + "\\\\cfg2//", dir.file("xdg"),
            dir.file("cfg2") },
        { "file-system root refused", "/", dir.file("xdg"), dir.file("xdg") + "/app" },
        { "folder under a file refused", dir.file("plain") + "/sub", dir.file("xdg"),
            dir.file("xdg") + "/app" },
        { "no setting", none, dir.file("xdg"), dir.file("xdg") + "/app" },
        // Without XDG_DATA_HOME, a fresh account has no $HOME/.local/share yet: it is made.
        { "data folder made with its parents", none, none, dir.file("home") + "/.local/share/app" },
        { "data folder under a file refused", none, dir.file("plain") + "/share", dir.file("home") + "/app" },
    };
    ScopedEnv home("HOME", dir.file("home").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg.empty() ? nullptr : c.xdg.c_str());
        bg::SetConfigLogDir(c.setting.empty() ? nullptr : c.setting.c_str());
        testing::internal::CaptureStderr();
        bg::Admin admin;
        const std::string chosen = admin.choose_config_dir("app");
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(chosen, c.expected);
        EXPECT_FALSE(std::filesystem::exists(chosen + "/~test_writeable~.tmp"));
    }
    bg::SetConfigLogDir(nullptr);
}

// With no home at all, the program's folder is left: "<folder>/<name>" there is the program itself.
TEST(ConfigDirTest, ProgramFolderCandidateIsNotTheProgram)
{
    ScopedEnv home("HOME", nullptr);
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    bg::SetConfigLogDir(nullptr);
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    const std::string name = program.stem().string();
    testing::internal::CaptureStderr();
    bg::Admin admin;
    const std::string chosen = admin.choose_config_dir(name);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(chosen.empty());
    EXPECT_TRUE(std::filesystem::is_directory(chosen)) << chosen;
    EXPECT_EQ(std::filesystem::path(chosen).parent_path(), program.parent_path());
    if (std::filesystem::is_directory(chosen))
        std::filesystem::remove_all(chosen);
}

TEST(ConfigDirTest, ChoiceIsKept)
{
    TempDir dir;
    bg::SetConfigLogDir(dir.path().c_str());
    bg::Admin admin;
    testing::internal::CaptureStderr();
    EXPECT_EQ(admin.choose_config_dir("app"), dir.path());
    bg::SetConfigLogDir(dir.file("other").c_str());
    EXPECT_EQ(admin.choose_config_dir("app"), dir.path());
    testing::internal::GetCapturedStderr();
    bg::SetConfigLogDir(nullptr);
}

} // namespace
