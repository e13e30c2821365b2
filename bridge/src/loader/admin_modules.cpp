#include <bridge/abstract_logger.h>
#include <bridge/admin.h>
#include <bridge/bg_log.h>
#include <bridge/instance.h>
#include <bridge/library.h>
#include <bridge/utils.h>

#include "init/bridge_state.h"
#include "loader/loader_paths.h"

#include <cstdio>

namespace bg {

namespace {

    // The module file: the name as a path, else the name next to the executable; "" when neither exists.
    std::string find_module(const char* name)
    {
        std::string path = loader_paths::normalise(name);
        if (loader_paths::is_file(path))
            return path;
        path = loader_paths::normalise(startup::exe_dir() + "/" + name);
        if (loader_paths::is_file(path))
            return path;
        BG_LOGE("[bg] 路径打开失败：%s", path.c_str());
        return "";
    }

    const char* build_type(bool debug) { return debug ? "debug" : "release"; }

} // namespace

int Admin::load_modules(const char* const* names, int count)
{
    if (count < 0)
        return 0;
    const std::string dir = choose_config_dir(startup::app_name());
    LogOptions options;
    if (logger) {
        options.level = logger->level();
        options.tag = logger->tag();
        options.to_stdout = logger->file() == stdout;
    }
    int loaded = 0;
    for (int i = 0; names && i < count; ++i) {
        if (!names[i])
            continue;
        const std::string path = find_module(names[i]);
        if (path.empty() || !loader_paths::has_module_suffix(path))
            continue;
        Interface* cmp = nullptr;
        if (!load_library(path, &cmp))
            continue;
        cmp->name[sizeof cmp->name - 1] = '\0';
        if (setup_component(
                cmp, cmp->name, shared_app, shared_data, shared_signal, shared_channel, dir, options)) {
            setInstance(cmp->name, cmp);
            m_components.push_back(cmp);
            ++loaded;
        } else {
            // Refused at init: its services go with it.
            release_component(cmp);
            delete cmp;
        }
    }
    showAllInstance("loaded");
    return loaded;
}

bool Admin::load_library(std::string path, Interface** out)
{
    if (!loader_paths::has_module_suffix(path))
        return false;
    zov::Library library(path.c_str());
    if (!library.load()) {
        fprintf(stderr, "loadLibrary failed: %s\n", path.c_str());
        fprintf(stderr, "err msg: %s\n", library.error().c_str());
        fflush(stderr);
        return false;
    }
    auto get_component = reinterpret_cast<GetComponentFunc>(library.symbol("get_component"));
    if (!get_component) {
        fprintf(stderr, "resolve func failed\n");
        fprintf(stderr, "err msg: %s\n", library.error().c_str());
        fflush(stderr);
        return false;
    }
    Interface* cmp = get_component(this);
    if (!cmp) {
        fprintf(stderr, "get_component of '%s' gave no component\n", path.c_str());
        fflush(stderr);
        return false;
    }
    if (is_debug() != cmp->is_debug()) {
        cmp->name[sizeof cmp->name - 1] = '\0';
        fprintf(stderr, "[Error - load lib] main.exe is '%s', module '%s' is '%s'\n", build_type(is_debug()),
            cmp->name, build_type(cmp->is_debug()));
        fflush(stderr);
        return false;
    }
    if (out)
        *out = cmp;
    return true;
}

} // namespace bg
