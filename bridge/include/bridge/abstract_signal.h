#pragma once

#include <bridge/abstract_base.h>
#include <bridge/value.h>

#include <functional>
#include <string>

namespace bg {

// Empty when the emitter supplied none.
using ReplyCallback = std::function<void(const Value& reply)>;
// The key and value are the emitter's own (not copied).
using SignalCallback = std::function<void(const char* key, const Value& value, ReplyCallback reply)>;

// In-process publish-subscribe hub. A key that begins or ends with '*' is a pattern (a filter); any other
// non-empty key is exact. Any thread may connect, remove and emit; callbacks run on the emitting thread
// with no hub lock held, so they may call back into the hub. Failures are results (-1, false).
class BG_API Abstract_Signal : public Abstract_Base {
public:
    ~Abstract_Signal() override;

    // Returns the new registration's id; `id` from an earlier connect that is still registered returns that
    // id and adds nothing; -1 for an empty callback or key.
    virtual int connect(const char* key, SignalCallback callback, int id = -1) = 0;
    virtual bool remove(const char* key, int id) = 0;
    // For an exact key, id -1 asks for any listener of the key.
    virtual bool exists(const char* key, int id) = 0;
    // Removes listeners, filters and examples; children stay.
    virtual void clear() = 0;
    // Runs the key's listeners in connection order, then the matching filters in registration order.
    virtual void emit(const char* key, const Value& value, ReplyCallback reply) = 0;
    virtual void emit_value(const char* key, const Value& value) = 0;
    virtual void add_example(const char* key, const Value& value) = 0;
    virtual std::string examples() = 0;
    // The child hub of that name, created on first use and owned by this hub.
    virtual Abstract_Signal* child(const char* name) = 0;
    virtual Abstract_Signal* child(const std::string& name) = 0;
};

} // namespace bg
