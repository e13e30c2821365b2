#include "media/inputsync.h"

#include <cerrno>

InputSemaphore::~InputSemaphore()
{
    if (m_created)
        sem_destroy(&m_semaphore);
}

bool InputSemaphore::create()
{
    m_created = sem_init(&m_semaphore, 0, 0) == 0;
    return m_created;
}

void InputSemaphore::release() { sem_post(&m_semaphore); }

bool InputSemaphore::wait()
{
    for (;;) {
        if (sem_wait(&m_semaphore) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool InputEvent::create()
{
    m_created = true;
    return true;
}

void InputEvent::set()
{
    std::lock_guard lock(m_mutex);
    m_signalled = true;
    m_condition.notify_one();
}

bool InputEvent::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_condition.wait_for(lock, timeout, [this] { return m_signalled; }))
        return false;
    m_signalled = false;
    return true;
}
