#include <bridge/readwritemutexrecursive.h>

#include "readwritestate.h"

#include <atomic>
#include <cstdio>
#include <system_error>

namespace bg {

uint32_t currentThreadId()
{
    static std::atomic<uint32_t> counter { 0 };
    thread_local const uint32_t id = ++counter;
    return id;
}

namespace {

    [[noreturn]] void refuseUpgrade(const char* what)
    {
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur), what);
    }

} // namespace

ReadWriteMutexRecursive::ReadWriteMutexRecursive()
    : m_state(std::make_unique<ReadWriteState>())
{
}

ReadWriteMutexRecursive::~ReadWriteMutexRecursive() = default;

void ReadWriteMutexRecursive::lock_read()
{
    const uint32_t self = currentThreadId();
    std::unique_lock<Mutex> lock(m_state->mutex);
    auto it = m_state->readCounts.find(self);
    if (it != m_state->readCounts.end()) {
        ++it->second;
        return;
    }
    if (m_state->writerThread == self)
        refuseUpgrade("lock_read while holding the write lock");
    m_state->waitToRead(lock);
    m_state->readCounts.emplace(self, 1);
}

void ReadWriteMutexRecursive::lock_write()
{
    const uint32_t self = currentThreadId();
    std::unique_lock<Mutex> lock(m_state->mutex);
    if (m_state->writerThread == self) {
        ++m_state->writers;
        return;
    }
    if (m_state->readCounts.count(self) != 0)
        refuseUpgrade("lock_write while holding a read lock");
    m_state->waitToWrite(lock);
    m_state->writerThread = self;
}

void ReadWriteMutexRecursive::unlock()
{
    const uint32_t self = currentThreadId();
    std::unique_lock<Mutex> lock(m_state->mutex);
    if (m_state->writerThread == self) {
        if (--m_state->writers >= 1)
            return;
        m_state->writerThread = 0;
        m_state->wake();
        return;
    }
    auto it = m_state->readCounts.find(self);
    if (it == m_state->readCounts.end()) {
        fputs("[Warnning]: unlocking from a thread that did not lock", stderr);
        fflush(stderr);
        return;
    }
    if (--it->second < 1) {
        m_state->readCounts.erase(it);
        --m_state->activeReaders;
    }
    if (m_state->activeReaders > 0)
        return;
    m_state->wake();
}

} // namespace bg
