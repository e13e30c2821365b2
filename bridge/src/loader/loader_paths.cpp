#include "loader/loader_paths.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace bg::loader_paths {

std::string normalise(const std::string& path)
{
    std::string out;
    for (char c : path) {
        bool separator = c == '/' || c == '\\';
        if (!separator)
            out += c;
        else if (out.empty() || out.back() != '/')
            out += '/';
    }
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

bool is_file(const std::string& path)
{
    struct stat st { };
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool is_dir(const std::string& path)
{
    struct stat st { };
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_dir(const std::string& path)
{
    if (is_dir(path))
        return true;
    return !path.empty() && (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && is_dir(path)));
}

bool make_dirs(const std::string& path)
{
    if (path.empty() || is_dir(path))
        return !path.empty();
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !make_dirs(path.substr(0, slash)))
        return false;
    return make_dir(path);
}

bool is_writable(const std::string& dir)
{
    std::string probe = dir + "/~test_writeable~.tmp";
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        // A probe left behind by a crash: it is ours to remove.
        unlink(probe.c_str());
        fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool has_module_suffix(const std::string& path)
{
    static const char kSuffix[] = ".so";
    const size_t n = sizeof kSuffix - 1;
    return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, kSuffix) == 0;
}

} // namespace bg::loader_paths
