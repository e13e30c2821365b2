#include "pools/zrc_pool.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace bg {

namespace {

    constexpr size_t kAlignment = 16;
    constexpr size_t kSmallLimit = 2048;
    constexpr int kLargeReuseScan = 5;
    constexpr uint32_t kSkipAfterFailures = 5;

    constexpr size_t align_up(size_t n) { return (n + kAlignment - 1) & ~(kAlignment - 1); }

    void log_line(FILE* log, const char* text)
    {
        if (log)
            fputs(text, log);
    }

    size_t block_size_of(const Zrc_Pool* pool)
    {
        return static_cast<size_t>(pool->d.end - reinterpret_cast<const char*>(pool));
    }

    // Room that a freshly allocated later block offers after its header.
    size_t fresh_block_room(const Zrc_Pool* pool)
    {
        return block_size_of(pool) - align_up(sizeof(Zrc_Block));
    }

    char* align_ptr(char* p)
    {
        const uintptr_t v = reinterpret_cast<uintptr_t>(p);
        return reinterpret_cast<char*>((v + kAlignment - 1) & ~static_cast<uintptr_t>(kAlignment - 1));
    }

    void* alloc_from_blocks(Zrc_Pool* pool, size_t size)
    {
        for (Zrc_Block* b = pool->current; b; b = b->next) {
            char* m = align_ptr(b->last);
            if (m <= b->end && static_cast<size_t>(b->end - m) >= size) {
                b->last = m + size;
                log_line(pool->log, "alloc from current block\n");
                return m;
            }
        }
        return nullptr;
    }

    void* zrc_mem_block(Zrc_Pool* pool, size_t size)
    {
        log_line(pool->log, "call zrc_mem_block\n");
        const size_t block_size = block_size_of(pool);
        char* raw = static_cast<char*>(zrc_memalign(kAlignment, block_size, pool->log));
        if (!raw)
            return nullptr;

        Zrc_Block* last = pool->current;
        for (Zrc_Block* b = pool->current; b; b = b->next) {
            if (b->failed++ > kSkipAfterFailures)
                pool->current = b->next;
            last = b;
        }
        if (!last) { // every block was skipped before: the list still ends somewhere
            last = &pool->d;
            while (last->next)
                last = last->next;
        }

        auto* block = reinterpret_cast<Zrc_Block*>(raw);
        block->end = raw + block_size;
        block->next = nullptr;
        block->failed = 0;
        char* m = align_ptr(raw + sizeof(Zrc_Block));
        block->last = m + size;
        last->next = block;
        if (!pool->current)
            pool->current = block;
        return m;
    }

    void* alloc_small(Zrc_Pool* pool, size_t size)
    {
        if (void* m = alloc_from_blocks(pool, size))
            return m;
        return zrc_mem_block(pool, size);
    }

    void* alloc_large(Zrc_Pool* pool, size_t size)
    {
        log_line(pool->log, "alloc from large\n");
        void* p = zrc_alloc(size, pool->log);
        if (!p)
            return nullptr;

        int scanned = 0;
        for (Zrc_Large* l = pool->large; l && scanned < kLargeReuseScan; l = l->next, ++scanned) {
            if (!l->alloc) {
                l->alloc = p;
                return p;
            }
        }

        auto* record = static_cast<Zrc_Large*>(alloc_small(pool, sizeof(Zrc_Large)));
        if (!record) {
            free(p);
            return nullptr;
        }
        record->alloc = p;
        record->next = pool->large;
        pool->large = record;
        return p;
    }

} // namespace

void* zrc_alloc(size_t size, FILE* log)
{
    void* p = malloc(size);
    if (!p && log)
        fprintf(log, "%s %s\n", "zrc_alloc", "malloc failed");
    return p;
}

void* zrc_memalign(size_t alignment, size_t size, FILE* log)
{
    void* p = nullptr;
    if (posix_memalign(&p, std::max(alignment, sizeof(void*)), size) != 0)
        p = nullptr;
    if (!p && log)
        fprintf(log, "%s %s\n", "zrc_memalign", "memalign failed");
    return p;
}

Zrc_Pool* zrc_create_pool(size_t block_size, FILE* log)
{
    if (block_size < align_up(sizeof(Zrc_Pool)) + align_up(sizeof(Zrc_Large)))
        return nullptr;
    auto* pool = static_cast<Zrc_Pool*>(zrc_memalign(kAlignment, block_size, log));
    if (!pool)
        return nullptr;
    char* base = reinterpret_cast<char*>(pool);
    pool->d.last = base + sizeof(Zrc_Pool);
    pool->d.end = base + block_size;
    pool->d.next = nullptr;
    pool->d.failed = 0;
    pool->max = std::min(block_size, kSmallLimit);
    pool->current = &pool->d;
    pool->large = nullptr;
    pool->cleanup = nullptr;
    pool->log = log;
    return pool;
}

void zrc_destroy_pool(Zrc_Pool* pool)
{
    if (!pool)
        return;
    for (Zrc_Cleanup* c = pool->cleanup; c;) {
        Zrc_Cleanup* next = c->next;
        if (c->handler)
            c->handler(c->data);
        delete c;
        c = next;
    }
    for (Zrc_Large* l = pool->large; l; l = l->next)
        free(l->alloc);
    for (Zrc_Block* b = &pool->d; b;) {
        Zrc_Block* next = b->next;
        free(b);
        b = next;
    }
}

void zrc_reset_pool(Zrc_Pool* pool)
{
    for (Zrc_Large* l = pool->large; l; l = l->next)
        free(l->alloc);
    pool->large = nullptr;
    pool->d.last = reinterpret_cast<char*>(pool) + sizeof(Zrc_Pool);
    for (Zrc_Block* b = pool->d.next; b; b = b->next)
        b->last = reinterpret_cast<char*>(b) + sizeof(Zrc_Block);
}

void* zrc_palloc(Zrc_Pool* pool, size_t size)
{
    // A request that even a fresh block could not hold goes to the large list instead of
    // running past the new block's end.
    if (size > pool->max)
        return alloc_large(pool, size);
    if (void* m = alloc_from_blocks(pool, size))
        return m;
    if (size > fresh_block_room(pool))
        return alloc_large(pool, size);
    return zrc_mem_block(pool, size);
}

int zrc_pfree(Zrc_Pool* pool, void* p)
{
    if (!p)
        return 0;
    for (Zrc_Large* l = pool->large; l; l = l->next) {
        if (l->alloc == p) {
            free(l->alloc);
            l->alloc = nullptr;
            return 1;
        }
    }
    return 0;
}

// Cleanup records live on the heap, not in a block: `reset` hands block memory out again while the
// handlers stay registered, and a record inside a reused block would be overwritten.
int zrc_add_cleanup(Zrc_Pool* pool, void (*handler)(void*), void* data)
{
    auto* c = new (std::nothrow) Zrc_Cleanup { handler, data, pool->cleanup };
    if (!c)
        return -1;
    pool->cleanup = c;
    return 1;
}

int zrc_remove_cleanup(Zrc_Pool* pool, void (*handler)(void*))
{
    for (Zrc_Cleanup** link = &pool->cleanup; *link; link = &(*link)->next) {
        if ((*link)->handler == handler) {
            Zrc_Cleanup* c = *link;
            *link = c->next;
            delete c;
            return 1;
        }
    }
    return 0;
}

} // namespace bg
