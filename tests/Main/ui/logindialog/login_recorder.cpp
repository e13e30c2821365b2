// A module named "Memvia" that keeps every command it gets, with its callback, and answers none by
// itself: the login dialog's tests play the plug-in's part through login_recorder().
#include "login_recorder.h"

#include <bridge/bridge_b.h>

#include <cstring>

namespace {

LoginRecorder& recorder()
{
    static auto* state = new LoginRecorder;
    return *state;
}

class ScriptedMemvia : public bg::Bridge_B {
public:
    explicit ScriptedMemvia(bg::Interface* admin)
        : Bridge_B(admin)
    {
        std::strncpy(name, "Memvia", sizeof name - 1);
    }

    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bool is_debug() override { return false; }

    bg::Value process(const char*, int id, const bg::Value& msg, const bg::MsgCallback& cb) override
    {
        recorder().commands.push_back({ id, msg, cb });
        return bg::Value(static_cast<void*>(this));
    }
};

} // namespace

extern "C" bg::Interface* get_component(bg::Interface* admin)
{
    static ScriptedMemvia* module = new ScriptedMemvia(admin);
    return module;
}

extern "C" __attribute__((visibility("default"))) LoginRecorder* login_recorder() { return &recorder(); }
