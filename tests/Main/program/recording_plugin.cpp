// A stand-in for the membership plug-in: a module named "Memvia" that appends what the framework does to
// it to the file named by TAVICAST_TEST_PLUGIN_LOG. It keeps no static objects, so it can still write
// while the framework tears down at process exit.
#include <bridge/bridge_b.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void record(const char* what)
{
    const char* path = std::getenv("TAVICAST_TEST_PLUGIN_LOG");
    if (!path)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s;", what);
        std::fclose(file);
    }
}

class RecordingPlugin : public bg::Bridge_B {
public:
    explicit RecordingPlugin(bg::Interface* admin)
        : Bridge_B(admin)
    {
        std::strncpy(name, "Memvia", sizeof name - 1);
    }

    bool init() override
    {
        record("init");
        return true;
    }
    bool start() override
    {
        record("start");
        return true;
    }
    bool uninit() override
    {
        record("uninit");
        return true;
    }
    bg::Value process(const char*, int id, const bg::Value&, const bg::MsgCallback&) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "process(%d)", id);
        record(text);
        return bg::Value();
    }
    bool is_debug() override { return false; }
};

// Never deleted: the framework keeps module objects until the process ends.
bg::Interface* g_plugin = nullptr;

} // namespace

extern "C" bg::Interface* get_component(bg::Interface* admin)
{
    if (!g_plugin)
        g_plugin = new RecordingPlugin(admin);
    return g_plugin;
}
