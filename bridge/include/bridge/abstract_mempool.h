#pragma once

#include <bridge/abstract_base.h>

#include <cstddef>
#include <cstdio>

namespace bg {

// A region allocator: small allocations are carved out of fixed-size blocks and released together by
// `reset` or destruction; large ones may be freed one by one; cleanup handlers run at destruction.
// Not thread-safe: one thread at a time. Failures are null / 0 / -1 results plus a line on the log stream.
class BG_API Abstract_MemPool : public Abstract_Base {
public:
    using Cleanup_Handler = void (*)(void* data);

    // Memory of at least `size` bytes (16-aligned when served from a block), or null.
    virtual void* alloc(size_t size) = 0;
    // 1 when `p` was a live large allocation of this pool and is now freed, else 0.
    virtual int free_large(void* p) = 0;
    // Frees the large allocations and makes the blocks reusable; cleanup handlers stay registered.
    virtual void reset() = 0;
    // Stream for trace and error lines; null silences them. Not owned.
    virtual void set_log(FILE* stream) = 0;
    // 1, or -1 when the record cannot be allocated. Handlers run at destruction, newest first.
    virtual int add_cleanup(Cleanup_Handler handler, void* data) = 0;
    // 1 when the newest record with that handler was removed, else 0.
    virtual int remove_cleanup(Cleanup_Handler handler) = 0;
    // A new pool with the same owner and the given block size; the caller owns it.
    virtual Abstract_MemPool* create(size_t block_size) = 0;
    // Deletes *pool and sets it to null; nothing happens when either pointer is null.
    virtual void destroy(Abstract_MemPool** pool) = 0;
};

} // namespace bg
