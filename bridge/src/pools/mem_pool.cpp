#include <bridge/mem_pool.h>

#include "pools/zrc_pool.h"

namespace bg {

Mem_Pool::Mem_Pool(size_t block_size, Interface* owner)
    : pool_(zrc_create_pool(block_size, nullptr))
{
    this->owner = owner;
}

Mem_Pool::~Mem_Pool() { zrc_destroy_pool(pool_); }

void* Mem_Pool::alloc(size_t size) { return pool_ ? zrc_palloc(pool_, size) : nullptr; }

int Mem_Pool::free_large(void* p) { return pool_ ? zrc_pfree(pool_, p) : 0; }

void Mem_Pool::reset()
{
    if (pool_)
        zrc_reset_pool(pool_);
}

void Mem_Pool::set_log(FILE* stream)
{
    if (pool_)
        pool_->log = stream;
}

int Mem_Pool::add_cleanup(Cleanup_Handler handler, void* data)
{
    return pool_ ? zrc_add_cleanup(pool_, handler, data) : -1;
}

int Mem_Pool::remove_cleanup(Cleanup_Handler handler)
{
    return pool_ ? zrc_remove_cleanup(pool_, handler) : 0;
}

Abstract_MemPool* Mem_Pool::create(size_t block_size) { return new Mem_Pool(block_size, owner); }

void Mem_Pool::destroy(Abstract_MemPool** pool)
{
    if (!pool || !*pool)
        return;
    delete *pool;
    *pool = nullptr;
}

} // namespace bg
