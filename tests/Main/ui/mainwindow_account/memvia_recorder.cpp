// A module named "Memvia" for the main window's tests: it records the dialog commands (210, 220) as
// "<id>@<parent>;", with the address held by the argument's "parent" entry, and never calls the callback,
// as the plug-in does. Other commands (the message box's frame, 100) are answered and not recorded. The
// tests read the record through recorded_calls().
#include <bridge/bridge_b.h>
#include <bridge/valuemap.h>

#include <cstdio>
#include <string>

namespace {

std::string& calls()
{
    static std::string text;
    return text;
}

class MemviaRecorder : public bg::Bridge_B {
public:
    explicit MemviaRecorder(bg::Interface* admin)
        : Bridge_B(admin)
    {
        std::string("Memvia").copy(name, sizeof name - 1);
    }

    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bool is_debug() override { return false; }

    bg::Value process(const char*, int id, const bg::Value& msg, const bg::MsgCallback&) override
    {
        if (id != 210 && id != 220)
            return bg::Value();
        char line[64];
        std::snprintf(line, sizeof line, "%d@%p;", id, msg.toMap().get_data("parent").toVoid());
        calls() += line;
        return bg::Value();
    }
};

} // namespace

extern "C" bg::Interface* get_component(bg::Interface* admin)
{
    // The framework never deletes a module's component; one per process is kept here.
    static MemviaRecorder* module = new MemviaRecorder(admin);
    return module;
}

extern "C" __attribute__((visibility("default"))) const char* recorded_calls() { return calls().c_str(); }
