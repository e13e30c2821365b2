#pragma once

#include <bridge/abstract_signal.h>
#include <bridge/readwritemutexrecursive.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>

namespace bg {

// The framework's signal hub. Owns its child hubs.
class BG_API Signal : public Abstract_Signal {
public:
    explicit Signal(Interface* owner = nullptr);
    ~Signal() override;

    int connect(const char* key, SignalCallback callback, int id = -1) override;
    bool remove(const char* key, int id) override;
    bool exists(const char* key, int id) override;
    void clear() override;
    void emit(const char* key, const Value& value, ReplyCallback reply) override;
    void emit_value(const char* key, const Value& value) override;
    void add_example(const char* key, const Value& value) override;
    std::string examples() override;
    Abstract_Signal* child(const char* name) override;
    Abstract_Signal* child(const std::string& name) override;

    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

private:
    struct Listener {
        SignalCallback callback;
        int id;
        std::string key;
    };

    int connect_filter(const char* pattern, SignalCallback callback, int id);

    std::atomic<int> next_id_ { 0 };
    std::multimap<std::string, Listener> listeners_;
    std::list<Listener> filters_;
    // Lets an emit skip the filters' lock while there are none.
    std::atomic<size_t> filter_count_ { 0 };
    std::multimap<std::string, Value> examples_;
    std::map<std::string, std::unique_ptr<Signal>> children_;
    ReadWriteMutexRecursive children_lock_;
    ReadWriteMutexRecursive listeners_lock_;
    ReadWriteMutexRecursive filters_lock_;
    ReadWriteMutexRecursive examples_lock_;
};

namespace sig {

    // An empty hub with no owner; delete it with destroy.
    BG_API Abstract_Signal* create();
    BG_API void destroy(Abstract_Signal** signal);

} // namespace sig
} // namespace bg
