#pragma once

#include <bridge/bg_export.h>

#include <string>

namespace bg {

// One case of the built-in test runner, held by shared pointer once registered with TestManager.
class BG_API Abstract_BTest {
public:
    Abstract_BTest(int order, std::string suite, std::string name);
    virtual ~Abstract_BTest();

    // The test body; gets the arguments given to TestManager::run.
    virtual void run(int argc, char** argv) = 0;

    int order; // smaller runs first
    std::string suite;
    std::string name;
};

} // namespace bg
