#pragma once

#include <bridge/flmemnode.h>

#include <cstdio>

namespace pp {

// Called with (node, context) when a node's last reference is given back, before the pool keeps or frees
// it; runs on the releasing thread.
typedef void (*ReleaseCallback)(FLMemNode* node, void* context);

// A pool of reference-counted memory nodes in fixed size classes (512, 2048, 4096, 8192, then multiples
// of 8192 bytes, counting FLMemNodeReserve). Idle nodes are kept for reuse and freed with the pool.
// Any thread may allocate and release. alloc gives null for nbytes < 1 or when the heap is exhausted.
class BG_API PoolInterface {
public:
    virtual ~PoolInterface();

    // Most idle nodes kept (n <= 0 keeps none); gives n back.
    virtual int set_max_idle(int n) = 0;
    // A node with ref 1 and used nbytes, owned by the caller until released.
    virtual FLMemNode* alloc(int nbytes) = 0;
    // Frees every idle node.
    virtual void clear() = 0;
    virtual void dump(const char* name, FILE* stream) = 0;
    virtual void set_release_callback(ReleaseCallback callback, void* context) = 0;
    virtual int idle_count() = 0;
    virtual int idle_bytes() = 0;
    // Drops one reference; the last one keeps the node as idle or frees it (then *freed is true).
    // Callers hold the pool lock (lock/unlock), as release_pnode does.
    virtual void give_back(FLMemNode* node, bool* freed) = 0;
    // The recursive lock that guards reference counts.
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

// An empty pool without an idle limit. Free it with destroy_mempool.
BG_API PoolInterface* create_mempool(ReleaseCallback callback, void* context);
// Deletes *pool and sets it to null; nothing when either pointer is null. While nodes of the pool are
// still handed out, the pool is kept (its idle nodes freed) so that those nodes stay valid, and one line
// on stderr reports it.
BG_API void destroy_mempool(PoolInterface** pool);

} // namespace pp
