#pragma once

#include <bridge/abstract_packetpool.h>

#include <bridge/mutex.h>

#include <condition_variable>
#include <cstdint>

namespace pp {

struct FLQueueItem {
    void* data = nullptr; // the queued FLMemNode
    int32_t size = 0;
    double value = 0.0;
};

// The FIFO under the packet pool: a linked list of items with a limit-free or bounded push, blocking or
// timed takes, and close. Items left at clear or destruction are released as memory nodes.
// Every operation is thread-safe.
class FLQueue {
public:
    FLQueue() = default;
    ~FLQueue();
    FLQueue(const FLQueue&) = delete;
    FLQueue& operator=(const FLQueue&) = delete;

    FLQueueStatus push(const FLQueueItem& item, int max_count, bool block);
    FLQueueStatus push_unbounded(const FLQueueItem& item);
    FLQueueStatus pop(FLQueueItem* out, bool block, int timeout_ms);
    FLQueueStatus peek(FLQueueItem* out, bool block);
    void close();
    void reopen();
    bool closed();
    void clear();
    int count();
    int bytes();
    // Copies the index-th item; false when there is none.
    bool item_at(int index, FLQueueItem* out);

private:
    struct Entry {
        FLQueueItem item;
        Entry* next = nullptr;
    };

    void append(Entry* entry);
    void releaseAll();

    bool m_closed = false;
    Entry* m_head = nullptr;
    Entry* m_tail = nullptr;
    int m_count = 0;
    int m_bytes = 0;
    bg::Mutex m_mutex;
    std::condition_variable_any m_notEmpty;
    std::condition_variable_any m_notFull;
};

} // namespace pp
