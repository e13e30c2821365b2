// The executable's identity as the application info and the registry stand-in read it. Start-up records it
// from the program's own path (its definitions take precedence over these weak ones); until then, or in a
// process that never starts the framework, it comes from /proc/self/exe.
#include "init/bridge_state.h"

#include <climits>
#include <unistd.h>

namespace bg::startup {

namespace {

    struct Identity {
        std::string path, dir, name;
    };

    const Identity& identity()
    {
        static const Identity id = [] {
            Identity i;
            char buffer[PATH_MAX];
            ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
            i.path = n > 0 ? std::string(buffer, size_t(n)) : std::string();
            size_t slash = i.path.find_last_of('/');
            i.dir = slash == std::string::npos ? std::string() : i.path.substr(0, slash + 1);
            std::string file = slash == std::string::npos ? i.path : i.path.substr(slash + 1);
            i.name = file.substr(0, file.find('.'));
            return i;
        }();
        return id;
    }

} // namespace

__attribute__((weak)) const std::string& exe_path() { return identity().path; }
__attribute__((weak)) const std::string& exe_dir() { return identity().dir; }
__attribute__((weak)) const std::string& app_name() { return identity().name; }

} // namespace bg::startup
