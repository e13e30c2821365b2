#include <bridge/signal.h>

#include "value/value_summary.h"

#include <vector>

namespace bg {

namespace {

    class ReadHold {
    public:
        explicit ReadHold(AbstractReadWriteMutex& lock)
            : lock_(lock)
        {
            lock_.lock_read();
        }
        ~ReadHold() { lock_.unlock(); }
        ReadHold(const ReadHold&) = delete;
        ReadHold& operator=(const ReadHold&) = delete;

    private:
        AbstractReadWriteMutex& lock_;
    };

    class WriteHold {
    public:
        explicit WriteHold(AbstractReadWriteMutex& lock)
            : lock_(lock)
        {
            lock_.lock_write();
        }
        ~WriteHold() { lock_.unlock(); }
        WriteHold(const WriteHold&) = delete;
        WriteHold& operator=(const WriteHold&) = delete;

    private:
        AbstractReadWriteMutex& lock_;
    };

    bool is_pattern(const std::string& key)
    {
        return !key.empty() && (key.front() == '*' || key.back() == '*');
    }

    bool matches(const std::string& pattern, const std::string& key)
    {
        if (pattern.empty())
            return false;
        if (pattern.front() == '*') {
            // Everything after the first '*' is taken literally, a trailing '*' included.
            std::string suffix = pattern.substr(1);
            return suffix.size() <= key.size()
                && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
        }
        std::string prefix = pattern.substr(0, pattern.size() - 1);
        return key.compare(0, prefix.size(), prefix) == 0;
    }

} // namespace

Abstract_Signal::~Abstract_Signal() = default;

Signal::Signal(Interface* owner) { this->owner = owner; }

Signal::~Signal()
{
    {
        WriteHold hold(children_lock_);
        children_.clear();
    }
    WriteHold examples(examples_lock_);
    WriteHold listeners(listeners_lock_);
    WriteHold filters(filters_lock_);
    listeners_.clear();
    filters_.clear();
    examples_.clear();
}

int Signal::connect(const char* key, SignalCallback callback, int id)
{
    if (!callback || !key || !*key)
        return -1;
    std::string name(key);
    if (is_pattern(name)) {
        if (id >= 0 && exists(key, id)) {
            fprintf(stderr, "[Signal] (Warnning): connect 'key=%s, id=%d' already exist !\n\n", key, id);
            fflush(stderr);
            return id;
        }
        return connect_filter(key, std::move(callback), id);
    }

    WriteHold hold(listeners_lock_);
    if (id >= 0) {
        auto [first, last] = listeners_.equal_range(name);
        for (auto it = first; it != last; ++it) {
            if (it->second.id == id) {
                fprintf(stderr, "[Signal] (Warnning): connect 'key=%s, id=%d' already exist !\n\n", key, id);
                fflush(stderr);
                return id;
            }
        }
    }
    int new_id = ++next_id_;
    listeners_.emplace(name, Listener { std::move(callback), new_id, name });
    return new_id;
}

int Signal::connect_filter(const char* pattern, SignalCallback callback, int id)
{
    WriteHold hold(filters_lock_);
    if (id >= 0) {
        for (const Listener& filter : filters_) {
            if (filter.id == id) {
                fprintf(
                    stderr, "[Signal] (Warnning): filter 'keys=%s, id=%d' already exist !\n\n", pattern, id);
                fflush(stderr);
                return id;
            }
        }
    }
    int new_id = ++next_id_;
    filters_.push_back(Listener { std::move(callback), new_id, pattern });
    filter_count_ = filters_.size();
    return new_id;
}

bool Signal::remove(const char* key, int id)
{
    if (id == -1 || !key || !*key)
        return false;
    std::string name(key);
    if (!is_pattern(name)) {
        WriteHold hold(listeners_lock_);
        auto [first, last] = listeners_.equal_range(name);
        for (auto it = first; it != last; ++it) {
            if (it->second.id == id) {
                listeners_.erase(it);
                fprintf(stderr, "[Singal] remove listener 'key=%s, id=%d' OK !!!\n\n", key, id);
                fflush(stderr);
                return true;
            }
        }
        return false;
    }
    WriteHold hold(filters_lock_);
    for (auto it = filters_.begin(); it != filters_.end(); ++it) {
        if (it->id == id) {
            filters_.erase(it);
            filter_count_ = filters_.size();
            fprintf(stderr, "[Singal] remove filter 'id=%d, describ=%s' OK !!!\n\n", id, key);
            fflush(stderr);
            return true;
        }
    }
    return false;
}

bool Signal::exists(const char* key, int id)
{
    if (!key || !*key)
        return false;
    std::string name(key);
    if (!is_pattern(name)) {
        ReadHold hold(listeners_lock_);
        auto [first, last] = listeners_.equal_range(name);
        for (auto it = first; it != last; ++it) {
            if (id == -1 || it->second.id == id)
                return true;
        }
        return false;
    }
    if (id == -1)
        return false;
    ReadHold hold(filters_lock_);
    for (const Listener& filter : filters_) {
        if (filter.id == id)
            return true;
    }
    return false;
}

void Signal::clear()
{
    {
        WriteHold hold(listeners_lock_);
        listeners_.clear();
    }
    {
        WriteHold hold(filters_lock_);
        filters_.clear();
        filter_count_ = 0;
    }
    WriteHold hold(examples_lock_);
    examples_.clear();
}

void Signal::emit(const char* key, const Value& value, ReplyCallback reply)
{
    if (!key) {
        fprintf(stderr, "[Singal] (Warnning) emit with a null key ignored\n");
        fflush(stderr);
        return;
    }
    std::string name(key);
    bool delivered = false;
    // Callbacks are copied out first: none runs with a hub lock held, and a listener connected or removed by
    // a callback takes effect from the next emit.
    std::vector<SignalCallback> calls;
    {
        ReadHold hold(listeners_lock_);
        auto [first, last] = listeners_.equal_range(name);
        for (auto it = first; it != last; ++it)
            calls.push_back(it->second.callback);
    }
    if (!calls.empty()) {
        delivered = true;
        for (const SignalCallback& call : calls)
            call(key, value, reply);
    }

    calls.clear();
    if (filter_count_ > 0) {
        ReadHold hold(filters_lock_);
        for (const Listener& filter : filters_) {
            if (matches(filter.key, name))
                calls.push_back(filter.callback);
        }
    }
    if (!calls.empty()) {
        delivered = true;
        for (const SignalCallback& call : calls)
            call(key, value, reply);
    }

    if (!delivered)
        fprintf(stderr, "[Singal] (Warnning) no listener for 'key=%s'   ---> val=%s\n", key,
            value_summary(value).c_str());
}

void Signal::emit_value(const char* key, const Value& value) { emit(key, value, ReplyCallback()); }

void Signal::add_example(const char* key, const Value& value)
{
    if (!key)
        return;
    WriteHold hold(examples_lock_);
    examples_.emplace(key, value);
}

std::string Signal::examples()
{
    std::string valid, invalid;
    {
        ReadHold hold(examples_lock_);
        for (const auto& [key, value] : examples_) {
            std::string line = key + " ---> " + value.write() + "\n";
            bool listened = !is_pattern(key) && exists(key.c_str(), -1);
            (listened ? valid : invalid) += line;
        }
    }
    std::string text = "\n================================\n";
    if (valid.empty() && invalid.empty())
        text += "[Examples] empty.\n";
    if (!valid.empty())
        text += "## [Valid Examples]:\n" + valid;
    if (!invalid.empty())
        text += "## [Invalid Examples]:\n" + invalid;
    text += "================================\n";
    return text;
}

Abstract_Signal* Signal::child(const char* name)
{
    std::string child_name(name ? name : "");
    {
        ReadHold hold(children_lock_);
        auto found = children_.find(child_name);
        if (found != children_.end())
            return found->second.get();
    }
    auto fresh = std::make_unique<Signal>();
    WriteHold hold(children_lock_);
    auto [entry, inserted] = children_.try_emplace(child_name, std::move(fresh));
    (void)inserted; // a hub stored meanwhile by another thread wins; the fresh one is dropped
    return entry->second.get();
}

Abstract_Signal* Signal::child(const std::string& name) { return child(name.c_str()); }

namespace sig {

    Abstract_Signal* create() { return new Signal(); }

    void destroy(Abstract_Signal** signal)
    {
        if (!signal)
            return;
        delete *signal;
        *signal = nullptr;
    }

} // namespace sig
} // namespace bg
