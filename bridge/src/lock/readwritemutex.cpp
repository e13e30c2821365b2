#include <bridge/readwritemutex.h>

#include "readwritestate.h"

namespace bg {

ReadWriteMutex::ReadWriteMutex()
    : m_state(std::make_unique<ReadWriteState>())
{
}

ReadWriteMutex::~ReadWriteMutex() = default;

void ReadWriteMutex::lock_read()
{
    std::unique_lock<Mutex> lock(m_state->mutex);
    m_state->waitToRead(lock);
}

void ReadWriteMutex::lock_write()
{
    std::unique_lock<Mutex> lock(m_state->mutex);
    m_state->waitToWrite(lock);
}

void ReadWriteMutex::unlock()
{
    std::unique_lock<Mutex> lock(m_state->mutex);
    if (m_state->writers > 0) {
        m_state->writers = 0;
    } else {
        --m_state->activeReaders;
        if (m_state->activeReaders > 0)
            return;
    }
    m_state->wake();
}

} // namespace bg
