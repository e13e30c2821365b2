#include "pktpool/fl_packetpool.h"

#include <cstring>
#include <mutex>

namespace pp {

namespace {
    // Size recorded for each queued node, as the queue's byte count expects.
    constexpr int32_t kNodeItemSize = 4;

    // A node is queued only when its payload lies inside its block, so that read never copies past it.
    bool acceptable(const FLMemNode* node)
    {
        if (!node || node->used < 0 || !node->data)
            return false;
        const auto start = reinterpret_cast<uintptr_t>(node);
        const auto payload = reinterpret_cast<uintptr_t>(node->data);
        if (payload < start || payload - start > uintptr_t(node->total))
            return false;
        return uintptr_t(node->used) <= uintptr_t(node->total) - (payload - start);
    }

    const char* const kStatusTexts[] = {
        "default -1",
        "no error (OK)",
        "force exit",
        "no data",
        "queue full",
        "malloc failed",
        "param error",
    };
} // namespace

const char* pcQueErr(FLQueueStatus status)
{
    const int index = int(status) + 1;
    if (index < 0 || index >= int(sizeof(kStatusTexts) / sizeof(kStatusTexts[0])))
        return "unknow queue statu";
    return kStatusTexts[index];
}

Abstract_PacketPool::~Abstract_PacketPool() = default;

FLPacketPool::FLPacketPool()
    : m_nodePool(create_mempool(nullptr, nullptr))
{
}

FLPacketPool::~FLPacketPool()
{
    dropReadNode();
    m_queue.close();
    m_queue.clear();
    destroy_mempool(&m_nodePool);
}

FLMemNode* FLPacketPool::alloc(int nbytes) { return m_queue.closed() ? nullptr : m_nodePool->alloc(nbytes); }

void FLPacketPool::release_node(FLMemNode** node) { release_pnode(node); }

void FLPacketPool::set_release_callback(ReleaseCallback callback, void* context)
{
    m_nodePool->set_release_callback(callback, context);
}

void FLPacketPool::dump(const char* name, FILE* stream) { m_nodePool->dump(name, stream); }

FLQueueStatus FLPacketPool::push(FLMemNode* node, int max_count, bool block)
{
    // Waiting for room in a queue that can hold nothing would never end.
    if (!acceptable(node) || (block && max_count <= 0))
        return FLQUE_PARAM;
    if (m_queue.closed())
        return FLQUE_EXIT;
    return m_queue.push(FLQueueItem { node, kNodeItemSize, 0.0 }, max_count, block);
}

FLQueueStatus FLPacketPool::push_unbounded(FLMemNode* node)
{
    if (!acceptable(node))
        return FLQUE_PARAM;
    if (m_queue.closed())
        return FLQUE_EXIT;
    return m_queue.push_unbounded(FLQueueItem { node, kNodeItemSize, 0.0 });
}

FLQueueStatus FLPacketPool::push_drop_oldest(FLMemNode* node, int max_count)
{
    // With no room at all, dropping would never make the node fit.
    if (max_count <= 0)
        return FLQUE_PARAM;
    FLQueueStatus status = push(node, max_count, false);
    while (status == FLQUE_FULL) {
        FLMemNode* oldest = nullptr;
        if (pop_node(&oldest, false) == FLQUE_OK)
            release_node(&oldest);
        status = push(node, max_count, false);
    }
    return status;
}

FLQueueStatus FLPacketPool::take(FLMemNode** out, bool block, int timeout_ms)
{
    if (out)
        *out = nullptr;
    if (m_queue.closed())
        return FLQUE_EXIT;
    std::lock_guard<bg::Mutex> guard(m_takeMutex);
    FLQueueItem item;
    const FLQueueStatus status = m_queue.pop(&item, block, timeout_ms);
    if (status == FLQUE_OK) {
        auto* node = static_cast<FLMemNode*>(item.data);
        if (out)
            *out = node;
        else
            release_pnode(&node);
    }
    return status;
}

FLQueueStatus FLPacketPool::pop_node(FLMemNode** out, bool block) { return take(out, block, 0); }

FLQueueStatus FLPacketPool::pop_node_for(FLMemNode** out, int timeout_ms)
{
    return take(out, false, timeout_ms);
}

FLQueueStatus FLPacketPool::peek_node(FLMemNode** out, bool block)
{
    if (out)
        *out = nullptr;
    if (m_queue.closed())
        return FLQUE_EXIT;
    std::lock_guard<bg::Mutex> guard(m_takeMutex);
    FLQueueItem item;
    const FLQueueStatus status = m_queue.peek(&item, block);
    if (status != FLQUE_OK)
        return status;
    auto* node = static_cast<FLMemNode*>(item.data);
    PoolInterface* pool = node->pool;
    if (!pool) {
        // Without a pool there is no lock to take the extra reference under.
        fprintf(stderr, "[ERROR] *** FLMemNode's pool is NULL\n");
        fflush(stderr);
        return FLQUE_PARAM;
    }
    pool->lock();
    if (node->ref > 0) {
        ++node->ref;
    } else {
        fprintf(stderr, "[ERROR] *** FLMemNode invalid ref\n");
        fflush(stderr);
        if (node->ref < 0)
            node->ref = 0;
    }
    pool->unlock();
    if (out)
        *out = node;
    return FLQUE_OK;
}

void FLPacketPool::dropReadNode()
{
    if (m_read.node)
        release_pnode(&m_read.node);
    m_read = ReadPosition();
}

FLQueueStatus FLPacketPool::read(void* buffer, int n)
{
    if (n < 1 || !buffer)
        return FLQUE_PARAM;
    auto* out = static_cast<uint8_t*>(buffer);
    if (m_read.node && m_read.remaining >= n) {
        memcpy(out, m_read.node->data + m_read.offset, size_t(n));
        m_read.remaining -= n;
        m_read.offset += n;
        if (m_read.remaining == 0)
            dropReadNode();
        return FLQUE_OK;
    }

    int copied = 0;
    if (m_read.node && m_read.remaining > 0) {
        memcpy(out, m_read.node->data + m_read.offset, size_t(m_read.remaining));
        copied = m_read.remaining;
    }
    dropReadNode();

    while (copied < n) {
        FLMemNode* node = nullptr;
        const FLQueueStatus status = pop_node(&node, true);
        if (status != FLQUE_OK)
            return status;
        const int needed = n - copied;
        if (node->used <= 0) {
            release_pnode(&node);
            continue;
        }
        if (needed < node->used) {
            memcpy(out + copied, node->data, size_t(needed));
            m_read.node = node;
            m_read.offset = needed;
            m_read.remaining = node->used - needed;
            return FLQUE_OK;
        }
        memcpy(out + copied, node->data, size_t(node->used));
        copied += node->used;
        release_pnode(&node);
    }
    return FLQUE_OK;
}

void FLPacketPool::close() { m_queue.close(); }

bool FLPacketPool::is_closed() { return m_queue.closed(); }

void FLPacketPool::set_exit(bool on)
{
    if (on)
        m_queue.close();
    else
        m_queue.reopen();
}

void FLPacketPool::clear()
{
    dropReadNode();
    m_queue.clear();
}

void FLPacketPool::free_idle() { m_nodePool->clear(); }

int FLPacketPool::count() { return m_queue.count(); }

int FLPacketPool::bytes() { return m_queue.bytes(); }

FLMemNode* FLPacketPool::node_at(int index)
{
    FLQueueItem item;
    return m_queue.item_at(index, &item) ? static_cast<FLMemNode*>(item.data) : nullptr;
}

void FLPacketPool::set_attr(const char* key, int64_t value)
{
    if (!key)
        return;
    std::lock_guard<bg::Mutex> guard(m_attrMutex);
    m_attrs.emplace(key, value);
}

int64_t FLPacketPool::get_attr(const char* key, int64_t fallback)
{
    if (!key)
        return fallback;
    std::lock_guard<bg::Mutex> guard(m_attrMutex);
    const auto found = m_attrs.find(key);
    return found == m_attrs.end() ? fallback : found->second;
}

Abstract_PacketPool* create_pktpool() { return new FLPacketPool(); }

void destroy_pktpool(Abstract_PacketPool** pool)
{
    if (!pool || !*pool)
        return;
    delete *pool;
    *pool = nullptr;
}

} // namespace pp
