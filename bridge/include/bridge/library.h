#pragma once

#include <bridge/bg_export.h>

#include <string>

namespace zov {

// One module library for the loader: opens it by path (dlopen, RTLD_NOW | RTLD_LOCAL) and looks up
// symbols. What it opened is never unloaded, so objects made by the library outlive the wrapper.
// Failures are reported by the results; error() describes the last failure of the calling thread.
class BG_API Library {
public:
    explicit Library(const char* path);
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    virtual ~Library();

    bool load();
    // The exported symbol of that name, or null.
    void* symbol(const char* name);
    std::string error();

private:
    std::string path;
    void* handle = nullptr;
};

} // namespace zov
