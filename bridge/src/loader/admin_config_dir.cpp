#include <bridge/admin.h>

#include "init/bridge_state.h"
#include "loader/loader_paths.h"

#include <cstdio>
#include <cstdlib>

namespace bg {

namespace {

    std::string env_text(const char* name)
    {
        const char* value = getenv(name);
        return value ? value : "";
    }

    struct Candidate {
        std::string base;
        // The folder's name under the base, made from the application name.
        std::string suffix;
        // Whether missing parents are made (a fresh account has no ~/.local/share yet).
        bool parents;
    };

    // The candidates after the configured folder. In the program's folder "<name>" is the program file
    // itself, so the folder there gets a name no program file has.
    std::vector<Candidate> candidates()
    {
        const std::string home = env_text("HOME");
        std::string data_home = env_text("XDG_DATA_HOME");
        if (data_home.empty() && !home.empty())
            data_home = home + "/.local/share";
        return { { data_home, "", true }, { home, "", false }, { startup::exe_dir(), ".data", false } };
    }

    bool is_root(const std::string& normalised) { return normalised.empty() || normalised == "/"; }

    // The configured folder counts only when it can be written: a folder that merely exists would leave
    // every configuration and log file unwritten.
    std::string configured_dir()
    {
        const std::string& setting = startup::config_dir_setting();
        if (setting.empty()) {
            fprintf(stderr, "[Admin] bg::SetConfigLogDir(\"my-config-dir\") can redirect Config&Log dir\n");
            return "";
        }
        std::string dir = loader_paths::normalise(setting);
        if (!is_root(dir) && loader_paths::make_dir(dir) && loader_paths::is_writable(dir))
            return dir;
        fprintf(stderr, "[Admin] dir='%s'，can't writeable...\n", setting.c_str());
        return "";
    }

    std::string first_usable_candidate(const std::string& app_name)
    {
        for (const Candidate& candidate : candidates()) {
            const std::string& base = candidate.base;
            if (base.empty())
                continue;
            std::string dir = loader_paths::normalise(base + "/" + app_name + candidate.suffix);
            if (is_root(dir) || is_root(loader_paths::normalise(base)))
                continue;
            if (!(candidate.parents ? loader_paths::make_dirs(dir) : loader_paths::make_dir(dir))) {
                fprintf(stderr, "\n\n[Bridge Error] can't mkdir:  %s\n\n", dir.c_str());
                fflush(stderr);
                continue;
            }
            if (!loader_paths::is_writable(dir)) {
                fprintf(stderr, "\n\n[Bridge Error] no write access:  %s\n\n", dir.c_str());
                fflush(stderr);
                continue;
            }
            fprintf(stderr, "[Bridge] config dir = %s\n", dir.c_str());
            fflush(stderr);
            return dir;
        }
        return "";
    }

} // namespace

std::string Admin::choose_config_dir(std::string app_name)
{
    if (!m_configDir.empty())
        return m_configDir;
    std::string dir = configured_dir();
    if (dir.empty())
        dir = first_usable_candidate(app_name);
    fflush(stderr);
    m_configDir = dir;
    return dir;
}

} // namespace bg
