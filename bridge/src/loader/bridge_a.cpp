#include <bridge/argv.h>
#include <bridge/bridge_a.h>
#include <bridge/config.h>
#include <bridge/crypt.h>
#include <bridge/data.h>
#include <bridge/dataauth.h>
#include <bridge/func_tracer.h>
#include <bridge/logger.h>
#include <bridge/mem_pool.h>
#include <bridge/signal.h>
#include <bridge/utils.h>

#include <cstdio>
#include <ctime>

namespace bg {

namespace {

    // Ids of the components, in set-up order: the admin gets 0.
    uint32_t next_component_id = 0;

    std::string local_date()
    {
        time_t now = time(nullptr);
        struct tm local { };
        localtime_r(&now, &local);
        char text[16];
        strftime(text, sizeof text, "%Y-%m-%d", &local);
        return text;
    }

    // Without a usable configuration folder the files get no path at all, rather than landing at the
    // file-system root.
    std::string file_in(const std::string& dir, const char* folder, const std::string& file)
    {
        return dir.empty() ? std::string() : dir + folder + file;
    }

    template <typename T> void delete_and_clear(T*& p)
    {
        delete p;
        p = nullptr;
    }

} // namespace

bool Bridge_A::setup_component(Interface* cmp, const char* name, App* shared_app, Data* shared_data,
    Signal* shared_signal, Channel* shared_channel, const std::string& dir, const LogOptions& options)
{
    if (!cmp)
        return false;
    if (cmp->state & STATE_INITED)
        return true;
    cmp->state = (cmp->state & ~uint32_t(STATE_ID_MASK)) | (next_component_id++ & STATE_ID_MASK);

    const std::string base = name ? name : "";
    const std::string date = local_date();
    const std::string conf_path = file_in(dir, "/conf/", base + ".conf");
    const std::string log_path = file_in(dir, "/log/", base + date + ".log");
    const std::string trace_path = file_in(dir, "/log/", base + date + ".tcr");

    cmp->app = shared_app;
    cmp->data = new DataAuth(shared_data, cmp);
    cmp->signal = shared_signal;
    cmp->channel = shared_channel;
    cmp->argv = new Argv(cmp);
    cmp->private_data = new Data(cmp);
    cmp->private_signal = new Signal(cmp);
    cmp->config = new Config(conf_path.c_str(), cmp);
    cmp->logger = new Logger(log_path.c_str(), cmp);
    cmp->logger->set_level(options.level);
    cmp->logger->set_tag(options.tag.c_str());
    if (options.to_stdout)
        cmp->logger->set_file(stdout);
    cmp->tracer = new Func_Tracer(trace_path.c_str(), base.c_str(), cmp);
    cmp->tracer->enable(options.level >= 4);
    cmp->utils = new Utils(cmp);
    cmp->crypt = new Crypt(cmp);
    cmp->mempool = new Mem_Pool(2048, cmp);

    if (dynamic_cast<Bridge_A*>(cmp)) {
        cmp->state |= STATE_INITED;
        return true;
    }
    if (cmp->init()) {
        cmp->state |= STATE_INITED;
        return true;
    }
    cmp->uninit();
    return false;
}

void Bridge_A::release_component(Interface* cmp)
{
    if (!cmp)
        return;
    delete_and_clear(cmp->argv);
    delete_and_clear(cmp->logger);
    delete_and_clear(cmp->config);
    delete_and_clear(cmp->tracer);
    delete_and_clear(cmp->utils);
    delete_and_clear(cmp->crypt);
    delete_and_clear(cmp->mempool);
    delete_and_clear(cmp->private_data);
    delete_and_clear(cmp->data);
    delete_and_clear(cmp->private_signal);
    cmp->app = nullptr;
    cmp->signal = nullptr;
    cmp->channel = nullptr;
}

} // namespace bg
