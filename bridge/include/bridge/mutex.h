#pragma once

#include <bridge/abstractmutex.h>

#include <mutex>

namespace bg {

// Plain, non-recursive exclusive lock. No owner check: unlocking a mutex one does not hold is a caller error.
class Mutex : public AbstractMutex {
public:
    Mutex();
    ~Mutex() override;

    void lock() override;
    bool try_lock() override;
    void unlock() override;

private:
    std::mutex m_mutex;
};

} // namespace bg
