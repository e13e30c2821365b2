#include "pools/fl_mempool.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace pp {

namespace {

    constexpr int kFixedClasses[] = { 512, 2048, 4096, 8192 };
    constexpr int kLargeStep = 8192;

    uint32_t now() { return uint32_t(time(nullptr)); }

} // namespace

PoolInterface::~PoolInterface() = default;

FLMemPool::FLMemPool(ReleaseCallback callback, void* context)
    : m_callback(callback)
    , m_context(context)
{
}

FLMemPool::~FLMemPool() { clear(); }

int FLMemPool::sizeClass(int nbytes)
{
    const int64_t needed = int64_t(nbytes) + FLMemNodeReserve;
    for (int size : kFixedClasses) {
        if (needed <= size)
            return size;
    }
    const int64_t size = (needed + kLargeStep - 1) / kLargeStep * kLargeStep;
    return size > INT32_MAX ? -1 : int(size);
}

int FLMemPool::set_max_idle(int n)
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    m_maxIdle = n > 0 ? n : 0;
    return n;
}

FLMemNode* FLMemPool::alloc(int nbytes)
{
    if (nbytes < 1)
        return nullptr;
    FLMemNode* node = nullptr;
    {
        std::lock_guard<bg::Mutex> guard(m_mutex);
        const int size = sizeClass(nbytes);
        if (size < 0)
            return nullptr;
        node = takeIdle(size);
        if (!node)
            node = makeNode(size);
        if (!node)
            return nullptr;
        node->used = nbytes;
        node->time = now();
        ++m_inUse;
    }
    node->ref = 1;
    return node;
}

FLMemNode* FLMemPool::takeIdle(int size)
{
    const auto found = m_idle.find(size);
    if (found == m_idle.end() || found->second.empty())
        return nullptr;
    FLMemNode* node = found->second.front();
    found->second.pop_front();
    --m_idleCount;
    dropIdleBytes(node->total);
    return node;
}

FLMemNode* FLMemPool::makeNode(int size)
{
    void* block = malloc(size_t(size));
    if (!block)
        return nullptr;
    auto* node = static_cast<FLMemNode*>(block);
    const auto payload = (reinterpret_cast<uintptr_t>(block) + FLMemNodeReserve) & ~uintptr_t(15);
    node->data = reinterpret_cast<uint8_t*>(payload);
    node->used = 0;
    node->user[0] = node->user[1] = node->user[2] = 0;
    node->id = m_nextId++;
    node->total = size;
    node->ref = 0;
    node->time = 0;
    node->pool = this;
    return node;
}

void FLMemPool::give_back(FLMemNode* node, bool* freed)
{
    if (freed)
        *freed = false;
    if (!node || node->ref <= 0)
        return;
    if (--node->ref > 0)
        return;
    ReleaseCallback callback;
    void* context;
    {
        std::lock_guard<bg::Mutex> guard(m_mutex);
        callback = m_callback;
        context = m_context;
    }
    if (callback)
        callback(node, context);

    std::lock_guard<bg::Mutex> guard(m_mutex);
    --m_inUse;
    if (m_maxIdle >= 0 && m_idleCount >= m_maxIdle) {
        free(node);
        if (freed)
            *freed = true;
        if (m_idleCount > m_maxIdle)
            freeIdle(m_idleCount - m_maxIdle);
        return;
    }
    keepIdle(node);
}

void FLMemPool::keepIdle(FLMemNode* node)
{
    node->used = 0;
    m_idle[node->total].push_back(node);
    m_idleBytes += node->total;
    ++m_idleCount;
}

// Frees count idle nodes, walking the classes in order and each class oldest first.
void FLMemPool::freeIdle(int count)
{
    for (auto& entry : m_idle) {
        auto& nodes = entry.second;
        while (count > 0 && !nodes.empty()) {
            FLMemNode* node = nodes.front();
            nodes.pop_front();
            --m_idleCount;
            dropIdleBytes(node->total);
            free(node);
            --count;
        }
        if (count == 0)
            return;
    }
}

void FLMemPool::dropIdleBytes(int bytes)
{
    m_idleBytes -= bytes;
    if (m_idleBytes < 0)
        m_idleBytes = 0;
}

void FLMemPool::clear()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    for (auto& entry : m_idle) {
        for (FLMemNode* node : entry.second)
            free(node);
    }
    m_idle.clear();
    m_idleBytes = 0;
    m_idleCount = 0;
}

void FLMemPool::dump(const char* name, FILE* stream)
{
    if (!stream)
        return;
    fprintf(stream, "------------------------------------------[begin]\n");
    fprintf(stream, "--- [FLMemory: %s]\n", name ? name : "");
    {
        std::lock_guard<bg::Mutex> guard(m_mutex);
        int index = 0;
        for (const auto& entry : m_idle) {
            if (!entry.second.empty()) {
                fprintf(stream, "[Mem_Size=%d]\n", entry.first);
                for (const FLMemNode* node : entry.second) {
                    fprintf(stream, "@ node[%d] (id=%3d) --> nbytes=%d, ref=%d, used=%d, total=%d\n", index,
                        node->id, node->total, node->ref, node->used, node->total);
                }
                fprintf(stream, "\n");
            }
            ++index;
        }
    }
    fprintf(stream, "------------------------------------------[end]\n\n");
    fflush(stream);
}

void FLMemPool::set_release_callback(ReleaseCallback callback, void* context)
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    m_callback = callback;
    m_context = context;
}

int FLMemPool::idle_count()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_idleCount;
}

int FLMemPool::idle_bytes()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_idleBytes;
}

void FLMemPool::lock() { m_poolLock.lock(); }

void FLMemPool::unlock() { m_poolLock.unlock(); }

int FLMemPool::nodes_in_use()
{
    std::lock_guard<bg::Mutex> guard(m_mutex);
    return m_inUse;
}

PoolInterface* create_mempool(ReleaseCallback callback, void* context)
{
    return new FLMemPool(callback, context);
}

void destroy_mempool(PoolInterface** pool)
{
    if (!pool || !*pool)
        return;
    auto* nodePool = dynamic_cast<FLMemPool*>(*pool);
    const int inUse = nodePool ? nodePool->nodes_in_use() : 0;
    if (inUse > 0) {
        // The nodes still out point at this pool; keeping it (a leak) is the lesser harm.
        nodePool->clear();
        fprintf(stderr, "[ERROR] *** FLMemPool destroyed with %d nodes in use, pool kept\n", inUse);
        fflush(stderr);
    } else {
        delete *pool;
    }
    *pool = nullptr;
}

void release_pnode(FLMemNode** p)
{
    if (!p || !*p)
        return;
    FLMemNode* node = *p;
    *p = nullptr;
    PoolInterface* pool = node->pool;
    if (!pool) {
        fprintf(stderr, "[ERROR] *** FLMemNode's pool is NULL, exit\n");
        fflush(stderr);
        free(node);
        return;
    }
    pool->lock();
    if (node->ref == 1)
        pool->give_back(node, nullptr);
    else if (node->ref > 1)
        --node->ref;
    else if (node->ref < 0)
        node->ref = 0;
    pool->unlock();
}

} // namespace pp
