#pragma once

namespace bg {

// Exclusive lock of the framework (internal to libbridge). Satisfies Lockable, so std::lock_guard and
// std::unique_lock work with it. Platform errors (other than the busy answer of try_lock) are thrown as
// std::system_error. Must not be destroyed while held or waited on.
class AbstractMutex {
public:
    AbstractMutex() = default;
    AbstractMutex(const AbstractMutex&) = delete;
    AbstractMutex& operator=(const AbstractMutex&) = delete;
    virtual ~AbstractMutex();

    virtual void lock() = 0;
    // True when taken; false at once when another thread holds it.
    virtual bool try_lock() = 0;
    virtual void unlock() = 0;
};

} // namespace bg
