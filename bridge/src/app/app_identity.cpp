#include "app/app_identity.h"

#include <climits>
#include <unistd.h>

namespace bg::app_identity {

namespace {

    struct Identity {
        std::string filepath;
        std::string dir;
        std::string name;
    };

    Identity split(const std::string& path)
    {
        Identity id;
        id.filepath = path;
        size_t slash = path.find_last_of("/\\");
        id.dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
        id.name = file.substr(0, file.find('.'));
        return id;
    }

    Identity& identity()
    {
        static Identity id = [] {
            char path[PATH_MAX];
            ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
            return split(n > 0 ? std::string(path, size_t(n)) : std::string());
        }();
        return id;
    }

} // namespace

// Recorded once at start-up on the main thread, before other threads read it.
void record(const std::string& path) { identity() = split(path); }

const std::string& filepath() { return identity().filepath; }
const std::string& dir() { return identity().dir; }
const std::string& name() { return identity().name; }

} // namespace bg::app_identity
