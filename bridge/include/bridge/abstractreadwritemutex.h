#pragma once

namespace bg {

// Many readers or one writer (internal to libbridge); a waiting writer goes before waiting readers.
// unlock releases whichever hold the calling thread has, the write hold first. Must not be destroyed while
// held or waited on.
class AbstractReadWriteMutex {
public:
    AbstractReadWriteMutex() = default;
    AbstractReadWriteMutex(const AbstractReadWriteMutex&) = delete;
    AbstractReadWriteMutex& operator=(const AbstractReadWriteMutex&) = delete;
    virtual ~AbstractReadWriteMutex();

    virtual void lock_read() = 0;
    virtual void lock_write() = 0;
    virtual void unlock() = 0;
};

} // namespace bg
