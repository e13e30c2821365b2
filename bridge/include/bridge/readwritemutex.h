#pragma once

#include <bridge/abstractreadwritemutex.h>

#include <memory>

namespace bg {

struct ReadWriteState;
struct ReadWriteMutexProbe;

// Read-write lock with writer preference: while a writer waits or writes, new readers wait. Not re-entrant:
// a thread that reads and then asks to write waits for ever; the caller must not do that.
class ReadWriteMutex : public AbstractReadWriteMutex {
public:
    ReadWriteMutex();
    ~ReadWriteMutex() override;

    void lock_read() override;
    void lock_write() override;
    void unlock() override;

private:
    // Lets the lock tests observe who waits.
    friend struct ReadWriteMutexProbe;

    std::unique_ptr<ReadWriteState> m_state;
};

} // namespace bg
