#include <bridge/admin.h>
#include <bridge/app.h>
#include <bridge/argv.h>
#include <bridge/bg_log.h>
#include <bridge/channel.h>
#include <bridge/config.h>
#include <bridge/crypt.h>
#include <bridge/data.h>
#include <bridge/dataauth.h>
#include <bridge/func_tracer.h>
#include <bridge/instance.h>
#include <bridge/logger.h>
#include <bridge/mem_pool.h>
#include <bridge/signal.h>
#include <bridge/utils.h>

#include "init/bridge_state.h"
#include "loader/loader_paths.h"
#include "value/value_summary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace bg {

namespace {

    const char* const kAdminName = "Admin";

    template <typename T> void delete_and_clear(T*& p)
    {
        delete p;
        p = nullptr;
    }

    struct RegistryWalk {
        const Admin* admin;
        std::vector<Interface*> found;
    };

} // namespace

Admin::Admin()
{
    strncpy(name, kAdminName, sizeof name - 1);
    shared_app = new App(this);
    shared_data = new Data(this);
    shared_signal = new Signal(this);
    shared_channel = new Channel(this);
    m_components.push_back(this);
}

Admin::~Admin()
{
    {
        Func_Trace_Scope scope(tracer, __func__, __FILE__, __LINE__);
        uninit();
        delete_and_clear(argv);
        delete_and_clear(config);
        delete_and_clear(crypt);
        delete_and_clear(mempool);
        delete_and_clear(private_data);
        delete_and_clear(private_signal);
        delete_and_clear(data);
        app = nullptr;
        signal = nullptr;
        channel = nullptr;
        delete_and_clear(shared_app);
        delete_and_clear(shared_data);
        delete_and_clear(shared_signal);
        delete_and_clear(shared_channel);
        if (CD)
            BG_LOGE("Done!");
        delete_and_clear(logger);
        delete_and_clear(utils);
    }
    delete_and_clear(tracer);
}

bool Admin::init()
{
    fprintf(stderr, "\n[Admin] ::init @==@\n");
    fflush(stderr);
    const std::string dir = choose_config_dir(startup::app_name());
    if (!dir.empty()) {
        loader_paths::make_dir(dir + "/conf/");
        loader_paths::make_dir(dir + "/log/");
    }
    setInstance(name, this);
    LogOptions options;
    options.level = 6;
    options.to_stdout = true;
    options.tag = "bg";
    bool ready
        = setup_component(this, name, shared_app, shared_data, shared_signal, shared_channel, dir, options);
    srand(unsigned(time(nullptr)));
    if (!ready)
        return false;

    const bool had_all
        = config->contains("log.stdout") && config->contains("log.level") && config->contains("log.tag");
    const bool to_stdout = config->get_text("log.stdout", "false", true).compare(0, 4, "true") == 0;
    const int level = atoi(config->get_text("log.level", "2", true).c_str());
    const std::string tag = config->get_text("log.tag", "", true);
    if (!had_all)
        config->save();

    logger->set_level(level);
    logger->set_tag(tag.c_str());
    tracer->enable(level >= 4);
    logger->set_file(to_stdout ? stdout : nullptr);

    fprintf(stderr, "[Admin] ::init OK\n");
    fflush(stderr);
    return true;
}

bool Admin::start()
{
    state |= STATE_STARTED;
    srand(unsigned(time(nullptr)));
    for (Interface* cmp : registered_components()) {
        if (cmp == this || (cmp->state & STATE_STARTED))
            continue;
        cmp->state |= STATE_STARTED;
        cmp->start();
    }
    return true;
}

bool Admin::uninit()
{
    Func_Trace_Scope scope(CD ? CD->tracer : nullptr, __func__, __FILE__, __LINE__);
    BG_LOGE("[Admin] ::uninit @==@");
    abort_all();
    BG_LOGE("[Admin] abort all thread success");
    uninit_modules();
    clearInstance();
    BG_LOGE("[Admin] ::uninit end @==@");
    return true;
}

Value Admin::process(const char* from, int id, const Value& msg, const MsgCallback& cb)
{
    fprintf(stderr, "[Admin]::process() : from=%s, id=%d, msg=%s\n", from ? from : "", id,
        value_summary(msg).c_str());
    if (cb)
        cb(msg);
    return Value(static_cast<void*>(this));
}

Value Admin::send(const char* to, int id, const Value& msg, const MsgCallback& cb)
{
    return dispatch(name, to, id, msg, cb);
}

bool Admin::is_debug() { return false; }

Value Admin::dispatch(const char* from, const char* to, int id, const Value& msg, const MsgCallback& cb)
{
    void* found = to ? getInstance(to) : nullptr;
    if (!found || !is_component(found)) {
        fprintf(stderr, "=== Admin: module (%s) not exist !! ERROR !\n", to ? to : "");
        fflush(stderr);
        return Value::ErrorValue(-1003, "module not exsit");
    }
    return static_cast<Interface*>(found)->process(from, id, msg, cb);
}

bool Admin::is_component(const void* obj) const
{
    return obj && std::find(m_components.begin(), m_components.end(), obj) != m_components.end();
}

std::vector<Interface*> Admin::registered_components() const
{
    RegistryWalk walk { this, {} };
    travellInstance(
        [](const char*, void* obj, void* ctx) {
            auto* w = static_cast<RegistryWalk*>(ctx);
            auto* cmp = static_cast<Interface*>(obj);
            if (w->admin->is_component(obj)
                && std::find(w->found.begin(), w->found.end(), cmp) == w->found.end())
                w->found.push_back(cmp);
        },
        &walk);
    return walk.found;
}

void Admin::abort_all()
{
    state |= STATE_ABORTING;
    for (Interface* cmp : registered_components()) {
        BG_LOGD("set aborting cmps: key=%s, inst=%p", cmp->name, static_cast<void*>(cmp));
        cmp->state |= STATE_ABORTING;
        if (cmp->channel)
            cmp->channel->stop();
        BG_LOGD("set aborting cmps '%s' End", cmp->name);
    }
    if (shared_channel)
        shared_channel->stop();
    BG_LOGE("set all abort success");
}

// Registered modules in registry order, then those whose name a later load of the same file took over:
// their services are released too, so that nothing is left behind.
void Admin::uninit_modules()
{
    std::vector<Interface*> modules = registered_components();
    for (Interface* cmp : m_components) {
        if (std::find(modules.begin(), modules.end(), cmp) == modules.end())
            modules.push_back(cmp);
    }
    for (Interface* cmp : modules) {
        if (cmp == this)
            continue;
        BG_LOGE("> before uninit cmp '%s'", cmp->name);
        cmp->uninit();
        release_component(cmp);
        BG_LOGE("> uninit cmp '%s' OK", cmp->name);
    }
    m_components.assign(1, this);
}

} // namespace bg
