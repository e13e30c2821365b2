#pragma once

#include "pktpool/fl_queue.h"

#include <bridge/mutex.h>

#include <cstdint>
#include <map>
#include <string>

namespace pp {

// The packet pool behind create_pktpool; see Abstract_PacketPool.
class FLPacketPool : public Abstract_PacketPool {
public:
    FLPacketPool();
    ~FLPacketPool() override;
    FLPacketPool(const FLPacketPool&) = delete;
    FLPacketPool& operator=(const FLPacketPool&) = delete;

    FLMemNode* alloc(int nbytes) override;
    void release_node(FLMemNode** node) override;
    void set_release_callback(ReleaseCallback callback, void* context) override;
    void dump(const char* name, FILE* stream) override;
    FLQueueStatus push(FLMemNode* node, int max_count, bool block) override;
    FLQueueStatus push_unbounded(FLMemNode* node) override;
    FLQueueStatus push_drop_oldest(FLMemNode* node, int max_count) override;
    FLQueueStatus pop_node(FLMemNode** out, bool block) override;
    FLQueueStatus pop_node_for(FLMemNode** out, int timeout_ms) override;
    FLQueueStatus read(void* buffer, int n) override;
    FLQueueStatus peek_node(FLMemNode** out, bool block) override;
    void close() override;
    bool is_closed() override;
    void set_exit(bool on) override;
    void clear() override;
    void free_idle() override;
    int count() override;
    int bytes() override;
    FLMemNode* node_at(int index) override;
    void set_attr(const char* key, int64_t value) override;
    int64_t get_attr(const char* key, int64_t fallback) override;

private:
    struct ReadPosition {
        int remaining = 0;
        int offset = 0;
        FLMemNode* node = nullptr;
    };

    FLQueueStatus take(FLMemNode** out, bool block, int timeout_ms);
    void dropReadNode();

    PoolInterface* m_nodePool;
    FLQueue m_queue;
    ReadPosition m_read;
    std::map<std::string, int64_t> m_attrs;
    bg::Mutex m_attrMutex;
    bg::Mutex m_takeMutex;
};

} // namespace pp
