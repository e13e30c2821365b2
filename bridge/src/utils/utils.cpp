#include <bridge/utils.h>

#include <cstdlib>

namespace bg {

Abstract_Utils::~Abstract_Utils() = default;

Utils::Utils(Interface* owner_component) { owner = owner_component; }

Utils::~Utils() = default;

namespace utils {

    Utils* instance()
    {
        // Deliberately leaked: code that runs during static destruction may still log through it.
        static Utils* const shared = new Utils();
        return shared;
    }

    namespace {

        std::string env_dir(const char* name)
        {
            const char* value = std::getenv(name);
            return value && *value ? instance()->normalize_path(value) : std::string();
        }

    } // namespace

    std::string app_data_dir()
    {
        std::string dir = env_dir("XDG_DATA_HOME");
        if (dir.empty()) {
            dir = env_dir("HOME");
            if (!dir.empty())
                dir = instance()->normalize_path(dir + "/.local/share");
        }
        return dir;
    }

    std::string home_dir() { return env_dir("HOME"); }

} // namespace utils

} // namespace bg
