#pragma once

#include <bridge/poolinterface.h>

#include <bridge/mutex.h>
#include <bridge/mutexrecursive.h>

#include <deque>
#include <map>

namespace pp {

// The node pool behind create_mempool; see PoolInterface.
class FLMemPool : public PoolInterface {
public:
    FLMemPool(ReleaseCallback callback, void* context);
    ~FLMemPool() override;
    FLMemPool(const FLMemPool&) = delete;
    FLMemPool& operator=(const FLMemPool&) = delete;

    int set_max_idle(int n) override;
    FLMemNode* alloc(int nbytes) override;
    void clear() override;
    void dump(const char* name, FILE* stream) override;
    void set_release_callback(ReleaseCallback callback, void* context) override;
    int idle_count() override;
    int idle_bytes() override;
    void give_back(FLMemNode* node, bool* freed) override;
    void lock() override;
    void unlock() override;

    // Nodes handed out and not yet given back.
    int nodes_in_use();

    static int sizeClass(int nbytes);

private:
    FLMemNode* takeIdle(int size);
    FLMemNode* makeNode(int size);
    void keepIdle(FLMemNode* node);
    void freeIdle(int count);
    void dropIdleBytes(int bytes);

    int m_idleBytes = 0;
    int m_idleCount = 0;
    bg::Mutex m_mutex;
    bg::MutexRecursive m_poolLock;
    // Idle nodes per size class, oldest first.
    std::map<int, std::deque<FLMemNode*>> m_idle;
    int m_nextId = 0;
    ReleaseCallback m_callback;
    void* m_context;
    int m_maxIdle = -1;
    int m_inUse = 0;
};

} // namespace pp
