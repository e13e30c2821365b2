#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The allocator core behind bg::Mem_Pool: plain functions over a pool record that lives at the start of
// the pool's first block. Every later block starts with a Zrc_Block header only.
namespace bg {

struct Zrc_Block {
    char* last; // first free byte
    char* end; // one past the block's last byte
    Zrc_Block* next;
    uint32_t failed; // searches this block could not satisfy
};

struct Zrc_Large {
    void* alloc; // null once freed; the record stays for reuse
    Zrc_Large* next;
};

struct Zrc_Cleanup {
    void (*handler)(void*);
    void* data;
    Zrc_Cleanup* next;
};

struct Zrc_Pool {
    Zrc_Block d; // the first block's own header
    size_t max; // largest request served from blocks
    Zrc_Block* current;
    Zrc_Large* large;
    Zrc_Cleanup* cleanup;
    FILE* log;
};

void* zrc_alloc(size_t size, FILE* log);
void* zrc_memalign(size_t alignment, size_t size, FILE* log);

// Null when the block cannot be allocated or block_size cannot hold the record and one allocation.
Zrc_Pool* zrc_create_pool(size_t block_size, FILE* log);
void zrc_destroy_pool(Zrc_Pool* pool);
void zrc_reset_pool(Zrc_Pool* pool);
void* zrc_palloc(Zrc_Pool* pool, size_t size);
int zrc_pfree(Zrc_Pool* pool, void* p);
int zrc_add_cleanup(Zrc_Pool* pool, void (*handler)(void*), void* data);
int zrc_remove_cleanup(Zrc_Pool* pool, void (*handler)(void*));

} // namespace bg
