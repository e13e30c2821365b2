#pragma once

#include <string>

namespace bg {

// Logger settings handed to the set-up of a component.
struct LogOptions {
    int level = 0;
    bool to_stdout = false;
    std::string tag;
};

} // namespace bg
