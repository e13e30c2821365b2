#pragma once

#include <bridge/abstractreadwritemutex.h>

#include <memory>

namespace bg {

struct ReadWriteState;
struct ReadWriteMutexProbe;

// Read-write lock with writer preference, re-entrant per thread for reading and for writing: a thread that
// already reads never waits for a further read hold. unlock from a thread that holds nothing prints a
// warning on stderr and changes nothing. Asking for the write hold while reading, or for a read hold while
// writing, would wait for ever and throws std::system_error (resource_deadlock_would_occur) instead.
class ReadWriteMutexRecursive : public AbstractReadWriteMutex {
public:
    ReadWriteMutexRecursive();
    ~ReadWriteMutexRecursive() override;

    void lock_read() override;
    void lock_write() override;
    void unlock() override;

private:
    // Lets the lock tests observe who waits.
    friend struct ReadWriteMutexProbe;

    std::unique_ptr<ReadWriteState> m_state;
};

} // namespace bg
