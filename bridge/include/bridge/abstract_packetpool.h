#pragma once

#include <bridge/poolinterface.h>

#include <cstdint>

namespace pp {

enum FLQueueStatus : int {
    FLQUE_DEFAULT = -1, // initial value of a status variable; never returned
    FLQUE_OK = 0,
    FLQUE_EXIT = 1, // the queue is closed
    FLQUE_NODATA = 2, // nothing to take (no wait, or the wait timed out)
    FLQUE_FULL = 3, // the item limit is reached and the caller does not wait
    FLQUE_MALLOC = 4, // no memory for the queue entry
    FLQUE_PARAM = 5, // bad argument
};

// The text of a status ("unknow queue statu" for any other value); static text.
BG_API const char* pcQueErr(FLQueueStatus status);

// A thread-safe FIFO of memory nodes with its own node pool. A producer allocs a node, fills its data
// (keeping used as the payload length) and pushes it: the queue then owns that reference (on any result
// other than FLQUE_OK the node stays with the caller). A consumer pops whole nodes (and releases them) or
// reads the payloads as one byte stream. close wakes and ends every waiting party with FLQUE_EXIT.
// Any number of producers; takers run one at a time; read and clear belong to one consumer thread.
class BG_API Abstract_PacketPool {
public:
    virtual ~Abstract_PacketPool();

    // Null when the pool is closed.
    virtual FLMemNode* alloc(int nbytes) = 0;
    virtual void release_node(FLMemNode** node) = 0;
    virtual void set_release_callback(ReleaseCallback callback, void* context) = 0;
    virtual void dump(const char* name, FILE* stream) = 0;
    // Waits for room when block is set; max_count <= 0 makes the queue always full.
    virtual FLQueueStatus push(FLMemNode* node, int max_count, bool block) = 0;
    virtual FLQueueStatus push_unbounded(FLMemNode* node) = 0;
    // Releases the oldest queued nodes until the node fits; max_count must be above 0.
    virtual FLQueueStatus push_drop_oldest(FLMemNode* node, int max_count) = 0;
    virtual FLQueueStatus pop_node(FLMemNode** out, bool block) = 0;
    virtual FLQueueStatus pop_node_for(FLMemNode** out, int timeout_ms) = 0;
    // Fills buffer with exactly n bytes of queued payload, waiting for them; FLQUE_EXIT when closed
    // meanwhile (bytes already copied stay in buffer).
    virtual FLQueueStatus read(void* buffer, int n) = 0;
    // The head node with one added reference, which the caller releases; the node stays queued.
    virtual FLQueueStatus peek_node(FLMemNode** out, bool block) = 0;
    virtual void close() = 0;
    virtual bool is_closed() = 0;
    // true closes; false opens again.
    virtual void set_exit(bool on) = 0;
    // Releases every queued node and the partly read one; the closed flag is kept.
    virtual void clear() = 0;
    // Frees the idle nodes of the node pool.
    virtual void free_idle() = 0;
    virtual int count() = 0;
    virtual int bytes() = 0;
    // The index-th queued node (0 = head) without a reference of its own, or null.
    virtual FLMemNode* node_at(int index) = 0;
    // Stores value only when key is absent.
    virtual void set_attr(const char* key, int64_t value) = 0;
    virtual int64_t get_attr(const char* key, int64_t fallback) = 0;
};

// An empty, open packet pool; free it with destroy_pktpool.
BG_API Abstract_PacketPool* create_pktpool();
// Deletes *pool (releasing every node it holds) and sets it to null; nothing when either is null.
BG_API void destroy_pktpool(Abstract_PacketPool** pool);

} // namespace pp
