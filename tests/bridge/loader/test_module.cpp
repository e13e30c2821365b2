// A module library for the loader tests, built three times: one that works, one whose init refuses, and one
// of the other build type. It records what the framework does to it; the tests read the record through
// recorded_calls().
#include <bridge/bridge_b.h>

#include <string>
#include <vector>

namespace {

std::string& calls()
{
    static std::string text;
    return text;
}

// Keeps every object the framework got, so that nothing it never deletes counts as leaked.
// Never destroyed: the leak check at exit runs after static destructors.
std::vector<bg::Interface*>& objects()
{
    static auto* list = new std::vector<bg::Interface*>();
    return *list;
}

class TestModule : public bg::Bridge_B {
public:
    explicit TestModule(bg::Interface* admin)
        : Bridge_B(admin)
    {
        std::string text = TEST_MODULE_NAME;
        text.copy(name, sizeof name - 1);
    }

    ~TestModule() override { calls() += has_services() ? "deleted(services);" : "deleted;"; }

    bool init() override
    {
        calls() += has_services() ? "init(services);" : "init;";
        return !TEST_MODULE_REFUSES;
    }
    bool start() override
    {
        calls() += "start;";
        return true;
    }
    bool uninit() override
    {
        calls() += "uninit;";
        return true;
    }

    // 1: replies "reply:<text>" through the callback and returns 42; 2: sends "hello" with id 7 to the
    // component named in the message, with the same callback.
    bg::Value process(const char* from, int id, const bg::Value& msg, const bg::MsgCallback& cb) override
    {
        calls() += "process(" + std::string(from ? from : "") + "," + std::to_string(id) + ");";
        if (id == 1) {
            if (cb)
                cb(bg::Value((std::string("reply:") + msg.toString()).c_str()));
            return bg::Value(42);
        }
        if (id == 2)
            return send(msg.toString(), 7, bg::Value("hello"), cb);
        return bg::Value();
    }

    bool is_debug() override { return TEST_MODULE_DEBUG; }

private:
    bool has_services() const
    {
        return app && logger && config && tracer && data && private_data && signal && private_signal && argv
            && utils && crypt && mempool && channel;
    }
};

} // namespace

extern "C" bg::Interface* get_component(bg::Interface* admin)
{
    objects().push_back(new TestModule(admin));
    return objects().back();
}

extern "C" __attribute__((visibility("default"))) const char* recorded_calls() { return calls().c_str(); }

// A module without an admin, to show what send answers then.
extern "C" __attribute__((visibility("default"))) bg::Interface* make_orphan()
{
    objects().push_back(new TestModule(nullptr));
    return objects().back();
}
