#pragma once

#include <bridge/abstractmutex.h>

#include <mutex>

namespace bg {

// Exclusive lock that the holding thread may take again; it must unlock as often as it locked.
class MutexRecursive : public AbstractMutex {
public:
    MutexRecursive();
    ~MutexRecursive() override;

    void lock() override;
    bool try_lock() override;
    void unlock() override;

private:
    std::recursive_mutex m_mutex;
};

} // namespace bg
