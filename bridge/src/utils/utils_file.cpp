#include <bridge/utils.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

extern char** environ;

namespace bg {

namespace {

    constexpr size_t kCopyChunk = 10240;

    inline bool empty_path(const char* path) { return !path || !*path; }

    bool is_separator(char c) { return c == '/' || c == '\\'; }

    const char* after_last_separator(const char* path)
    {
        const char* name = path;
        for (const char* c = path; *c; ++c) {
            if (is_separator(*c))
                name = c + 1;
        }
        return name;
    }

    struct DirCloser {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    using DirHandle = std::unique_ptr<DIR, DirCloser>;
    using FileHandle = std::unique_ptr<FILE, FileCloser>;

    // Symbolic links count as files: a walk never leaves the tree it was given.
    bool is_real_dir(const std::string& path)
    {
        struct stat st { };
        return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    bool walk(const std::string& dir, const TravelCallback& callback, bool recurse)
    {
        DirHandle listing(opendir(dir.c_str()));
        if (!listing)
            return false;
        while (dirent* entry = readdir(listing.get())) {
            if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, ".."))
                continue;
            std::string path = dir + (is_separator(dir.back()) ? "" : "/") + entry->d_name;
            bool go_on = recurse && is_real_dir(path) ? walk(path, callback, recurse) : callback(false, path);
            if (!go_on)
                return false;
        }
        listing.reset();
        return callback(true, dir);
    }

    // Finds a program on PATH before forking, so that the child only has to call exec.
    std::string find_program(const char* name)
    {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
        for (size_t start = 0; start <= dirs.size();) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos)
                end = dirs.size();
            std::string candidate = dirs.substr(start, end - start);
            candidate = (candidate.empty() ? "." : candidate) + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate;
            start = end + 1;
        }
        return std::string();
    }

} // namespace

bool Utils::dir_exists(const char* path)
{
    if (empty_path(path))
        return false;
    return DirHandle(opendir(path)) != nullptr;
}

bool Utils::make_dir(const char* path)
{
    if (dir_exists(path))
        return true;
    return !empty_path(path) && mkdir(path, 0777) == 0;
}

bool Utils::remove_dir(const char* path)
{
    if (!dir_exists(path))
        return true;
    return rmdir(path) == 0;
}

bool Utils::remove_tree(const char* path)
{
    if (empty_path(path))
        return true;
    int failures = 0;
    walk(
        path,
        [&failures](bool is_dir, const std::string& entry) {
            if ((is_dir ? rmdir(entry.c_str()) : unlink(entry.c_str())) != 0)
                ++failures;
            return true;
        },
        true);
    return failures == 0;
}

bool Utils::travel_dir(const char* path, const TravelCallback& callback, bool recurse)
{
    if (empty_path(path) || !callback)
        return false;
    return walk(path, callback, recurse);
}

std::string Utils::temp_dir()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? normalize_path(dir) : std::string("/tmp");
}

std::string Utils::normalize_path(const std::string& path)
{
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (!is_separator(c))
            result.push_back(c);
        else if (result.empty() || result.back() != '/')
            result.push_back('/');
    }
    return result;
}

std::string Utils::file_name(const char* path) { return path ? after_last_separator(path) : std::string(); }

std::string Utils::base_name(const char* path)
{
    std::string name = file_name(path);
    return name.substr(0, name.find('.'));
}

std::string Utils::dir_name(const char* path)
{
    if (!path)
        return std::string();
    return std::string(path, size_t(after_last_separator(path) - path));
}

FILE* Utils::open_file(const char* path, const char* mode)
{
    if (empty_path(path) || !mode)
        return nullptr;
    return std::fopen(path, mode);
}

int Utils::remove_file(const char* path) { return !empty_path(path) && unlink(path) == 0 ? 0 : -1; }

int Utils::rename_file(const char* from, const char* to)
{
    return !empty_path(from) && !empty_path(to) && std::rename(from, to) == 0 ? 0 : -1;
}

int Utils::copy_file(const char* from, const char* to)
{
    FileHandle source(open_file(from, "rb"));
    if (!source)
        return -1;
    // Opening the source itself for writing would truncate it before a byte is read.
    struct stat from_st {
    }, to_st {};
    if (!empty_path(to) && stat(to, &to_st) == 0 && fstat(fileno(source.get()), &from_st) == 0
        && from_st.st_dev == to_st.st_dev && from_st.st_ino == to_st.st_ino)
        return 0;
    FileHandle target(open_file(to, "wb"));
    if (!target)
        return -2;
    std::unique_ptr<char[]> chunk(new char[kCopyChunk]);
    size_t got;
    while ((got = std::fread(chunk.get(), 1, kCopyChunk, source.get())) > 0) {
        if (std::fwrite(chunk.get(), 1, got, target.get()) != got)
            return -3;
    }
    bool read_failed = std::ferror(source.get()) != 0;
    return std::fclose(target.release()) != 0 || read_failed ? -3 : 0;
}

struct stat Utils::file_stat(const char* path)
{
    struct stat st { };
    if (empty_path(path) || stat(path, &st) != 0) {
        std::fprintf(stderr, "bg: [Error] _wstat64(..) < 0, path=%s\n", path ? path : "");
        std::fflush(stderr);
        return {};
    }
    return st;
}

int64_t Utils::file_size(const char* path) { return int64_t(file_stat(path).st_size); }

void Utils::show_in_explorer(const char* path)
{
    if (empty_path(path))
        return;
    // File browsers cannot be asked to select an item through xdg-open, so the folder holding it is shown.
    std::string target = normalize_path(path);
    if (!dir_exists(target.c_str())) {
        target = dir_name(target.c_str());
        if (target.empty())
            target = ".";
    }
    std::string program = find_program("xdg-open");
    if (program.empty())
        return;
    char* argv[] = { program.data(), target.data(), nullptr };
    // The opener is started through an intermediate child that exits at once, so it never becomes our zombie;
    // the intermediate child is reaped here. Only fork, exec and _exit run in the children.
    pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execve(argv[0], argv, environ);
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    }
}

bool Utils::is_writable(const char* dir, const char* name)
{
    if (empty_path(dir) || empty_path(name))
        return false;
    std::string path = std::string(dir) + "/" + name;
    // O_EXCL: a file of that name that already exists is somebody's data and must survive the probe.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST && access(path.c_str(), W_OK) == 0;
    close(fd);
    unlink(path.c_str());
    return true;
}

} // namespace bg
