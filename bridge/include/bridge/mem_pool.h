#pragma once

#include <bridge/abstract_mempool.h>

namespace bg {

struct Zrc_Pool;

// The framework's region allocator over one pool record (see Abstract_MemPool).
// Owns the record and every block; the destructor runs the cleanup handlers, then frees everything.
// A block size too small to hold the pool's own bookkeeping leaves the pool without a record: every
// allocation then fails.
class BG_API Mem_Pool : public Abstract_MemPool {
public:
    explicit Mem_Pool(size_t block_size, Interface* owner = nullptr);
    ~Mem_Pool() override;
    Mem_Pool(const Mem_Pool&) = delete;
    Mem_Pool& operator=(const Mem_Pool&) = delete;

    void* alloc(size_t size) override;
    int free_large(void* p) override;
    void reset() override;
    void set_log(FILE* stream) override;
    int add_cleanup(Cleanup_Handler handler, void* data) override;
    int remove_cleanup(Cleanup_Handler handler) override;
    Abstract_MemPool* create(size_t block_size) override;
    void destroy(Abstract_MemPool** pool) override;

private:
    Zrc_Pool* pool_ = nullptr;
};

} // namespace bg
