#include <bridge/bridge_init.h>
#include <bridge/testmanager.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace bg {

namespace {

    const char* const kEnvName = "fl_bg_test_mgr";

    // This copy of the library's manager; every copy has its own pointer.
    TestManager* g_manager = nullptr;

    // The manager another copy published, provided it was published by this very process: a value
    // inherited from a parent process names an address in another address space.
    TestManager* publishedManager()
    {
        void* address = nullptr;
        GetEnvPtr(kEnvName, &address);
        return static_cast<TestManager*>(address);
    }

    void announce(const char* what, const void* address)
    {
        fprintf(stderr, "\033[0;32;34m[bg::Test] %s [%p]\n", what, address);
        fprintf(stderr, "\033[m\n");
        fflush(stderr);
    }

} // namespace

Abstract_BTest::Abstract_BTest(int order, std::string suite, std::string name)
    : order(order)
    , suite(std::move(suite))
    , name(std::move(name))
{
}

Abstract_BTest::~Abstract_BTest() = default;

TestManager::TestManager()
    : m_cases(new std::list<std::shared_ptr<Abstract_BTest>>())
{
}

TestManager* TestManager::instance()
{
    if (g_manager)
        return g_manager;
    if ((g_manager = publishedManager())) {
        announce("load from env", g_manager);
        return g_manager;
    }
    g_manager = new TestManager();
    SetEnvPtr(kEnvName, g_manager);
    announce("create test manager", g_manager);
    return g_manager;
}

void TestManager::regist(const std::shared_ptr<Abstract_BTest>& test)
{
    if (!test)
        return;
    auto& cases = *instance()->m_cases;
    auto position = cases.begin();
    while (position != cases.end() && (*position)->order <= test->order)
        ++position;
    cases.insert(position, test);
}

void TestManager::run(int argc, char** argv)
{
    for (const auto& test : *instance()->m_cases) {
        fprintf(stderr, "======================\n");
        fprintf(stderr, "<BgTest>[%d] %s::%s\n", test->order, test->suite.c_str(), test->name.c_str());
        const auto start = std::chrono::steady_clock::now();
        test->run(argc, argv);
        const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
        fprintf(stderr, "\033[0;32;34m<%.3lf us total>\n", elapsed.count());
        fprintf(stderr, "\033[m\n");
        fflush(stderr);
    }
}

} // namespace bg
