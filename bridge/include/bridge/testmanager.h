#pragma once

#include <bridge/abstract_btest.h>

#include <list>
#include <memory>

namespace bg {

// The process's one test runner. The first copy of the framework library that asks for it creates it and
// publishes its address (with the process id) in the environment variable "fl_bg_test_mgr"; every other
// copy in the same process uses that one. It lives until the process ends. Not thread-safe: register and
// run on one thread.
class BG_API TestManager {
public:
    static TestManager* instance();
    // Adds a case after every case whose order number is not greater.
    static void regist(const std::shared_ptr<Abstract_BTest>& test);
    // Runs every case in order, with a banner and the time taken on stderr.
    static void run(int argc, char** argv);

    // Both share the case list of other.
    TestManager& operator=(const TestManager& other) = default;
    TestManager& operator=(TestManager&& other) = default;

private:
    TestManager();

    std::list<std::shared_ptr<Abstract_BTest>>* m_cases;
};

} // namespace bg
