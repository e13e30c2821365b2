#include "init/bridge_state.h"

#include "config/registry_store.h"

#include <unistd.h>

#include <climits>

namespace bg::startup {

namespace {

    struct Identity {
        std::string path;
        std::string dir;
        std::string name;
    };

    Identity split(const std::string& path)
    {
        Identity id;
        id.path = path;
        size_t slash = path.find_last_of("/\\");
        id.dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
        id.name = file.substr(0, file.find('.'));
        return id;
    }

    // Until start-up records it, and in a process that never starts the framework, the identity is the
    // program's own file.
    Identity own_file()
    {
        char path[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        return split(n > 0 ? std::string(path, size_t(n)) : std::string());
    }

    struct State {
        Identity exe = own_file();
        std::string config_dir;
    };

    State& state()
    {
        static State s;
        return s;
    }

} // namespace

const std::string& exe_path() { return state().exe.path; }
const std::string& exe_dir() { return state().exe.dir; }
const std::string& app_name() { return state().exe.name; }
const std::string& config_dir_setting() { return state().config_dir; }
bool registry_mode() { return registry_store::enabled(); }

void record_exe(const std::string& path) { state().exe = split(path); }

void set_config_dir_setting(const std::string& dir) { state().config_dir = dir; }

} // namespace bg::startup
