#pragma once

#include <bridge/bg_export.h>

#include <cstdint>

namespace pp {

class PoolInterface;

// Header at the start of every pooled block; the payload follows in the same block. The field order and
// widths are shared with other modules, which may inline the release steps of release_pnode.
struct FLMemNode {
    uint8_t* data; // payload: the first 16-byte boundary after the header
    int32_t used; // bytes requested by the allocation that handed the node out; 0 while idle
    int32_t user[3]; // free for the caller; 0 when the block is made, not reset on reuse
    int32_t id; // creation number of the block within its pool
    int32_t total; // size of the whole block (its size class)
    int32_t ref; // reference count, 1 when handed out
    uint32_t time; // low 32 bits of the calendar time (seconds) when last handed out
    PoolInterface* pool; // owning pool; null when the node has none
};

// Bytes of a block that are not payload: the header and up to 15 bytes of alignment slack. Size classes
// are chosen for nbytes + FLMemNodeReserve.
constexpr int FLMemNodeReserve = int(sizeof(FLMemNode)) + 15;

// Drops one reference of *node under its pool's lock (a last reference gives the node back to its pool)
// and sets *node to null. A node without a pool is reported on stderr and freed. Any thread.
BG_API void release_pnode(FLMemNode** node);

} // namespace pp
