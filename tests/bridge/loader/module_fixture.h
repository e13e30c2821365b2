#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// A fresh folder of this test process, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavicast-bridge-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The folder of the test program, where the test modules are built too (with a trailing '/').
inline std::string bin_dir()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe(path, n > 0 ? size_t(n) : 0);
    return exe.substr(0, exe.find_last_of('/') + 1);
}

inline const char* const kGoodModule = "libtest_module_good.so";
inline const char* const kRefusingModule = "libtest_module_refuse.so";
inline const char* const kDebugModule = "libtest_module_debug.so";

// What the framework did to a test module so far (see test_module.cpp), read from the loaded copy at
// `path`; "" when that file is not loaded.
inline std::string module_calls(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return "";
    auto recorded = reinterpret_cast<const char* (*)()>(dlsym(handle, "recorded_calls"));
    return recorded ? recorded() : "";
}
