#include <bridge/library.h>

#include <dlfcn.h>

namespace zov {

namespace {

    // Every run of '/' and '\' becomes one '/'.
    std::string normalise(const char* path)
    {
        std::string out;
        for (const char* p = path ? path : ""; *p; ++p) {
            bool separator = *p == '/' || *p == '\\';
            if (!separator)
                out += *p;
            else if (out.empty() || out.back() != '/')
                out += '/';
        }
        return out;
    }

    // dlerror() belongs to the calling thread and is cleared by reading it; keep the last text per thread
    // so that error() can be asked after any failed step.
    thread_local std::string last_error;

    void remember_error()
    {
        const char* text = dlerror();
        last_error = text ? text : "";
    }

} // namespace

Library::Library(const char* path)
    : path(normalise(path))
{
}

// The library stays mapped: modules' objects outlive the wrapper.
Library::~Library() = default;

bool Library::load()
{
    if (path.empty()) {
        last_error = "empty library path";
        return false;
    }
    // A name without '/' would be searched on the loader's path; the module loader always passes a path
    // it has found, so make it explicit.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        remember_error();
        return false;
    }
    return true;
}

void* Library::symbol(const char* name)
{
    if (!handle || !name) {
        last_error = handle ? "null symbol name" : "library not loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle, name);
    if (!address)
        remember_error();
    return address;
}

std::string Library::error() { return "libray err: " + last_error; }

} // namespace zov
