#pragma once

// The camera input's wake-up objects: a counting semaphore and an auto-reset event. Both are created
// empty; create() reports whether the system gave the object. Any thread may use them.

#include <semaphore.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

class InputSemaphore {
public:
    InputSemaphore() = default;
    ~InputSemaphore();
    InputSemaphore(const InputSemaphore&) = delete;
    InputSemaphore& operator=(const InputSemaphore&) = delete;

    // Count 0; the count may rise to SEM_VALUE_MAX (0x7fffffff on Linux).
    bool create();
    bool isCreated() const { return m_created; }
    void release();
    // Blocks until the count is positive and takes one; false when the semaphore fails.
    bool wait();

private:
    sem_t m_semaphore {};
    bool m_created = false;
};

class InputEvent {
public:
    bool create();
    bool isCreated() const { return m_created; }
    void set();
    // Takes the signal (the event resets itself); false on time-out.
    bool wait(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_signalled = false;
    bool m_created = false;
};
