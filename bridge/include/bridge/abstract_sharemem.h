#pragma once

#include <bridge/abstract_base.h>

namespace bg {

// One named shared-memory object of the system: made with create, or opened by name with open; map gives
// views of the whole object. No locking: the processes that share the bytes agree on their own protocol.
// One thread at a time. Failures are reported by a state of 0 (create, open) or a null view (map).
class BG_API Abstract_ShareMem : public Abstract_Base {
public:
    enum State {
        StateNone = 0,
        StateCreated = 1,
        StateOpened = 2,
    };

    // Creates a new object of size bytes under name; gives the new state (1, or 0 on failure).
    virtual int create(const char* name, unsigned int size) = 0;
    // Opens an existing object; mode containing 'w' asks for reading and writing, anything else (null
    // included) for reading alone. Gives the new state (2, or 0 on failure).
    virtual int open(const char* name, const char* mode) = 0;
    // Releases the handle; views mapped before stay usable until unmapped.
    virtual void close() = 0;
    virtual int state() const = 0;
    // "null", "created", "opened" or "unknow"; static text.
    virtual const char* state_text() const = 0;
    virtual unsigned int size() const = 0;
    // A new read-write view of the whole object, or null (also for an object opened for reading alone);
    // the caller gives each view back to unmap of the same object.
    virtual void* map() = 0;
    virtual void unmap(void* view) = 0;
};

namespace sharem {
    // A new object holding no handle; the caller frees it with destroy.
    BG_API Abstract_ShareMem* create();
    // Deletes *object (closing it) and sets it to null; nothing when either pointer is null.
    BG_API void destroy(Abstract_ShareMem** object);
} // namespace sharem

} // namespace bg
