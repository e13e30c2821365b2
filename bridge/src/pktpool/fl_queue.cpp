#include "pktpool/fl_queue.h"

#include <chrono>
#include <mutex>
#include <new>

namespace pp {

namespace {
    // Bookkeeping charged per entry on top of its size.
    constexpr int kEntryOverhead = 16;
} // namespace

FLQueue::~FLQueue()
{
    close();
    std::lock_guard<bg::Mutex> guard(m_mutex);
    releaseAll();
}

void FLQueue::append(Entry* entry)
{
    if (m_tail)
        m_tail->next = entry;
    else
        m_head = entry;
    m_tail = entry;
    ++m_count;
    m_bytes += entry->item.size + kEntryOverhead;
    m_notEmpty.notify_one();
}

FLQueueStatus FLQueue::push(const FLQueueItem& item, int max_count, bool block)
{
    auto* entry = new (std::nothrow) Entry { item, nullptr };
    if (!entry)
        return FLQUE_MALLOC;
    std::unique_lock<bg::Mutex> lock(m_mutex);
    while (!m_closed && m_count >= max_count) {
        if (!block) {
            delete entry;
            return FLQUE_FULL;
        }
        m_notFull.wait(lock);
    }
    if (m_closed) {
        delete entry;
        return FLQUE_EXIT;
    }
    append(entry);
    return FLQUE_OK;
}

FLQueueStatus FLQueue::push_unbounded(const FLQueueItem& item)
{
    auto* entry = new (std::nothrow) Entry { item, nullptr };
    if (!entry)
        return FLQUE_MALLOC;
    std::lock_guard<bg::Mutex> guard(m_mutex);
    append(entry);
    return FLQUE_OK;
}

FLQueueStatus FLQueue::pop(FLQueueItem* out, bool block, int timeout_ms)
{
    std::unique_lock<bg::Mutex> lock(m_mutex);
    const auto ready = [this] { return m_closed || m_head; };
    if (block)
        m_notEmpty.wait(lock, ready);
    else if (timeout_ms > 0)
        m_notEmpty.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
    if (m_closed)
        return FLQUE_EXIT;
    if (!m_head)
        return FLQUE_NODATA;

    Entry* entry = m_head;
    m_head = entry->next;
    if (!m_head)
        m_tail = nullptr;
    --m_count;
    m_bytes -= entry->item.size + kEntryOverhead;
    if (out)
        *out = entry->item;
    delete entry;
    m_notFull.notify_one();
    return FLQUE_OK;
}

FLQueueStatus FLQueue::peek(FLQueueItem* out, bool block)
{
    std::unique_lock<bg::Mutex> lock(m_mutex);
    if (block)
        m_notEmpty.wait(lock, [this] { return m_closed || m_head; });
    if (m_closed)
        return FLQUE_EXIT;
    if (!m_head)
        return FLQUE_NODATA;
    if (out)
        *out = m_head->item;
    return FLQUE_OK;
}

void FLQueue::close()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    if (m_closed)
        return;
    m_closed = true;
    m_notEmpty.notify_all();
    m_notFull.notify_all();
}

void FLQueue::reopen()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    m_closed = false;
}

bool FLQueue::closed()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_closed;
}

void FLQueue::clear()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    releaseAll();
    m_notFull.notify_all();
}

void FLQueue::releaseAll()
{
    while (m_head) {
        Entry* entry = m_head;
        m_head = entry->next;
        auto* node = static_cast<FLMemNode*>(entry->item.data);
        release_pnode(&node);
        delete entry;
    }
    m_tail = nullptr;
    m_count = 0;
    m_bytes = 0;
}

int FLQueue::count()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_count;
}

int FLQueue::bytes()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_bytes;
}

bool FLQueue::item_at(int index, FLQueueItem* out)
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    if (index < 0 || index >= m_count)
        return false;
    Entry* entry = m_head;
    while (index-- > 0)
        entry = entry->next;
    *out = entry->item;
    return true;
}

} // namespace pp
