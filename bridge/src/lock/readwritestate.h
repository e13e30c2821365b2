#pragma once

#include <bridge/mutex.h>

#include <condition_variable>
#include <cstdint>
#include <unordered_map>

namespace bg {

// Shared state of both read-write mutexes; every field is read and written under `mutex` only.
struct ReadWriteState {
    int waitingWriters = 0;
    int waitingReaders = 0;
    // 1 while a writer holds the lock; the recursive variant counts the writer's nested holds.
    int writers = 0;
    // Read holds (plain variant) or reading threads (recursive variant).
    int activeReaders = 0;
    Mutex mutex;
    std::condition_variable_any readersCond;
    std::condition_variable_any writersCond;
    // Recursive variant only: nested read holds per thread, and the thread that writes (0 for none).
    std::unordered_map<uint32_t, int> readCounts;
    uint32_t writerThread = 0;

    void waitToRead(std::unique_lock<Mutex>& lock)
    {
        while (waitingWriters > 0 || writers > 0) {
            ++waitingReaders;
            readersCond.wait(lock);
            --waitingReaders;
        }
        ++activeReaders;
    }

    void waitToWrite(std::unique_lock<Mutex>& lock)
    {
        while (activeReaders > 0 || writers > 0) {
            ++waitingWriters;
            writersCond.wait(lock);
            --waitingWriters;
        }
        writers = 1;
    }

    // Writers first, one at a time; readers all together.
    void wake()
    {
        if (waitingWriters > 0)
            writersCond.notify_one();
        else if (waitingReaders > 0)
            readersCond.notify_all();
    }
};

// A small identifier of the calling thread, never 0 and never reused within the process.
uint32_t currentThreadId();

} // namespace bg
