#include <bridge/admin.h>
#include <bridge/bridge_init.h>
#include <bridge/instance.h>
#include <bridge/signal.h>

#include "config/registry_store.h"
#include "init/bridge_state.h"

#include <unistd.h>

#include <cctype>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

bg::Interface* CD = nullptr;
bool Bg_Is_Aborted = false;

namespace bg {

namespace {

    // The organisation's web domain, published in "ZovBridge".
    const char* const kOrganisationDomain = "tavicast.example.com";

    struct ExitList {
        std::deque<std::function<void()>> functions;
        bool runner_registered = false;
        bool runner_done = false;
    };

    ExitList& exit_list()
    {
        static ExitList list;
        return list;
    }

    bool teardown_in_progress = false;

    void print_order_banner(const char* call)
    {
        fprintf(stderr, "***********************************\n");
        fprintf(stderr, "[ERROR]: '%s(..)' must before 'InitBridge(..)'\n", call);
        fprintf(stderr, "***********************************\n");
        fflush(stderr);
    }

    // Runs the exit list once per process, newest first; bg::UninitBridge, when it was added, runs last.
    void run_exit_list()
    {
        ExitList& list = exit_list();
        if (list.runner_done)
            return;
        list.runner_done = true;
        bool uninit_met = false;
        while (!list.functions.empty()) {
            std::function<void()> fn = std::move(list.functions.back());
            list.functions.pop_back();
            auto* plain = fn.target<void (*)()>();
            if (plain && *plain == &UninitBridge)
                uninit_met = true;
            else if (fn)
                fn();
        }
        if (uninit_met)
            UninitBridge();
    }

    // The program's own path; argv[0] only when /proc is not readable.
    std::string own_path(int argc, char** argv)
    {
        char path[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n > 0)
            return std::string(path, size_t(n));
        return argc > 0 && argv && argv[0] ? argv[0] : "";
    }

} // namespace

int InitBridge(int argc, char** argv)
{
    Bg_Is_Aborted = false;
    if (CD)
        return 0;
    setenv("ZovBridge", kOrganisationDomain, 1);
    auto* admin = new Admin();
    CD = admin;
    startup::record_exe(own_path(argc, argv));
    admin->init();
    SetEnvPtr("Bridge_Main_CD", CD);
    admin->start();
    return 0;
}

void UninitBridge()
{
    if (!CD || teardown_in_progress)
        return;
    Bg_Is_Aborted = true;
    teardown_in_progress = true;
    run_exit_list();
    delete CD;
    CD = nullptr;
    teardown_in_progress = false;
}

void SetConfigLogDir(const char* dir)
{
    if (CD) {
        print_order_banner("SetConfigLogDir");
        return;
    }
    startup::set_config_dir_setting(dir ? dir : "");
    setenv("ZovBgConfigDir", dir ? dir : "", 1);
}

void SetEnableRegEdit(bool on, const char* path)
{
    if (CD) {
        print_order_banner("SetEnableRegEdit");
        return;
    }
    registry_store::set_switch(on, path);
}

const char* RegEditPath()
{
    // The key store keeps the root as a copy; this text lives until the next call.
    static std::string kept;
    kept = registry_store::root();
    return kept.c_str();
}

int LoadModules(const char* const* names, int count, bool start)
{
    auto* admin = dynamic_cast<Admin*>(CD);
    if (!admin)
        return 0;
    int loaded = admin->load_modules(names, count);
    if (start && CD) {
        admin->start();
        showAllInstance("start");
    }
    return loaded;
}

bool LoadModule(const char* name, bool start)
{
    const char* names[] = { name };
    return LoadModules(names, 1, start) == 1;
}

bool StartModules()
{
    if (!CD)
        return false;
    bool started = CD->start();
    showAllInstance("start");
    return started;
}

void atExit(std::function<void()> fn)
{
    ExitList& list = exit_list();
    list.functions.push_back(std::move(fn));
    if (!list.runner_registered) {
        list.runner_registered = true;
        atexit(run_exit_list);
    }
}

void RegistBgErrHandle(std::function<void(const char*)> handler)
{
    if (!CD || !CD->signal || !handler)
        return;
    CD->signal->connect(
        "BgError",
        // Bounded by the value's length: a byte-block value need not end in a zero.
        [handler](const char*, const Value& value, ReplyCallback) { handler(value.toStdString("").c_str()); },
        -1);
}

// The value carries the process id: a child process inherits the variable, but an address of its
// parent's memory means nothing there.
int SetEnvPtr(const char* name, void* p)
{
    if (!name || !*name || strchr(name, '='))
        return -1;
    char text[64];
    snprintf(text, sizeof text, "0x%" PRIxPTR ":%ld", reinterpret_cast<uintptr_t>(p), long(getpid()));
    return setenv(name, text, 1) == 0 ? 0 : -1;
}

void GetEnvPtr(const char* name, void** out)
{
    if (!out)
        return;
    *out = nullptr;
    const char* text = name ? getenv(name) : nullptr;
    if (!text || strncmp(text, "0x", 2) != 0 || !isxdigit(static_cast<unsigned char>(text[2])))
        return;
    char* end = nullptr;
    uintmax_t address = strtoumax(text + 2, &end, 16);
    if (end == text + 2 || *end != ':')
        return;
    const char* pid_text = end + 1;
    long pid = strtol(pid_text, &end, 10);
    if (end == pid_text || *end != '\0' || pid != long(getpid()))
        return;
    *out = reinterpret_cast<void*>(uintptr_t(address));
}

void SetConsoleUtf8() { }

} // namespace bg
