#include "init/bridge_state.h"

namespace bg::startup {

namespace {

    struct State {
        std::string exe_path;
        std::string exe_dir;
        std::string app_name;
        std::string config_dir;
        bool registry_mode = false;
        std::string registry_path;
    };

    State& state()
    {
        static State s;
        return s;
    }

} // namespace

const std::string& exe_path() { return state().exe_path; }
const std::string& exe_dir() { return state().exe_dir; }
const std::string& app_name() { return state().app_name; }
const std::string& config_dir_setting() { return state().config_dir; }
bool registry_mode() { return state().registry_mode; }
const std::string& registry_path() { return state().registry_path; }

void record_exe(const std::string& path)
{
    State& s = state();
    s.exe_path = path;
    size_t slash = path.find_last_of("/\\");
    s.exe_dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    s.app_name = file.substr(0, file.find('.'));
}

void set_config_dir_setting(const std::string& dir) { state().config_dir = dir; }

void set_registry(bool on, const std::string& path)
{
    state().registry_mode = on;
    state().registry_path = on ? path : std::string();
}

} // namespace bg::startup
