#include <bridge/bridge_init.h>
#include <bridge/testmanager.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using bg::TestManager;
using testing::HasSubstr;

namespace {

// Records its label (and the argument count it got) when run.
class RecordingCase : public bg::Abstract_BTest {
public:
    RecordingCase(int order, std::string label, std::vector<std::string>* log)
        : Abstract_BTest(order, "suite", std::move(label))
        , m_log(log)
    {
    }

    void run(int argc, char**) override { m_log->push_back(name + "/" + std::to_string(argc)); }

private:
    std::vector<std::string>* m_log;
};

// The manager is process-wide and keeps its cases: tests that need a fresh process run as a re-executed
// child (gtest's thread-safe death-test style).
class TestManagerFresh : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST(TestManager, RunsCasesByOrderKeepingRegistrationOrderForTies)
{
    std::vector<std::string> log;
    const std::pair<int, const char*> cases[]
        = { { 5, "five-a" }, { 1, "one" }, { 5, "five-b" }, { 3, "three" } };
    for (const auto& c : cases)
        TestManager::regist(std::make_shared<RecordingCase>(c.first, c.second, &log));
    TestManager::regist(nullptr);

    char arg0[] = "prog";
    char arg1[] = "--x";
    char* argv[] = { arg0, arg1, nullptr };
    testing::internal::CaptureStderr();
    TestManager::run(2, argv);
    const std::string printed = testing::internal::GetCapturedStderr();

    EXPECT_EQ(log, (std::vector<std::string> { "one/2", "three/2", "five-a/2", "five-b/2" }));
    EXPECT_THAT(printed,
        testing::MatchesRegex("(======================\n<BgTest>\\[[0-9]+\\] suite::[a-z-]+\n"
                              "\033\\[0;32;34m<[0-9]+\\.[0-9][0-9][0-9] us total>\n\033\\[m\n){4}"));
    EXPECT_LT(printed.find("[1] suite::one"), printed.find("[3] suite::three"));
    EXPECT_LT(printed.find("[5] suite::five-a"), printed.find("[5] suite::five-b"));
}

TEST_F(TestManagerFresh, FirstInstancePublishesItselfAndAnEmptyRunPrintsNothing)
{
    EXPECT_EXIT(
        {
            unsetenv("fl_bg_test_mgr");
            testing::internal::CaptureStderr();
            TestManager* manager = TestManager::instance();
            const std::string created = testing::internal::GetCapturedStderr();
            char expected[128];
            snprintf(expected, sizeof expected, "\033[0;32;34m[bg::Test] create test manager [%p]\n\033[m\n",
                static_cast<void*>(manager));
            testing::internal::CaptureStderr();
            TestManager::run(0, nullptr);
            const std::string ran = testing::internal::GetCapturedStderr();
            void* published = nullptr;
            bg::GetEnvPtr("fl_bg_test_mgr", &published);
            exit(
                created == expected && ran.empty() && published == manager && TestManager::instance() == manager
                    ? 0
                    : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(TestManagerFresh, SecondCopyInTheProcessUsesTheFirstManager)
{
    EXPECT_EXIT(
        {
            TestManager* first = TestManager::instance();
            void* module = dlopen(SECOND_COPY_PATH, RTLD_NOW | RTLD_LOCAL);
            if (!module)
                exit(2);
            auto secondInstance = reinterpret_cast<TestManager* (*)()>(dlsym(module, "second_copy_instance"));
            if (!secondInstance)
                exit(3);
            testing::internal::CaptureStderr();
            TestManager* second = secondInstance();
            const std::string printed = testing::internal::GetCapturedStderr();
            char expected[128];
            snprintf(expected, sizeof expected, "\033[0;32;34m[bg::Test] load from env [%p]\n\033[m\n",
                static_cast<void*>(first));
            exit(second == first && printed == expected ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(TestManagerFresh, ValueInheritedFromAnotherProcessIsIgnored)
{
    // A parent's manager address means nothing here; neither does a value without a process id.
    for (const char* inherited : { "0x7fff00001000:1", "0x7fff00001000", "garbage" }) {
        SCOPED_TRACE(inherited);
        EXPECT_EXIT(
            {
                setenv("fl_bg_test_mgr", inherited, 1);
                testing::internal::CaptureStderr();
                TestManager* manager = TestManager::instance();
                const std::string printed = testing::internal::GetCapturedStderr();
                TestManager::run(0, nullptr);
                exit(manager && printed.find("create test manager") != std::string::npos ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}
