#include <bridge/mem_pool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Collects what a pool writes to its log stream.
class Log_Capture {
public:
    Log_Capture() { stream_ = open_memstream(&buffer_, &size_); }
    ~Log_Capture()
    {
        fclose(stream_);
        free(buffer_);
    }
    FILE* stream() const { return stream_; }
    std::string take()
    {
        fflush(stream_);
        std::string text(buffer_, size_);
        rewind(stream_);
        fflush(stream_);
        return text;
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_ = nullptr;
};

std::vector<int> g_cleanups;
void record_cleanup(void* data) { g_cleanups.push_back(*static_cast<int*>(data)); }
void other_cleanup(void* data) { g_cleanups.push_back(-*static_cast<int*>(data)); }

TEST(MemPool, SmallAllocationsAreAlignedAndDisjoint)
{
    bg::Mem_Pool pool(2048);
    std::vector<std::pair<uintptr_t, size_t>> spans;
    for (int i = 0; i < 2000; ++i) {
        const size_t size = 1 + (i * 37) % 300;
        auto* p = static_cast<char*>(pool.alloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << "request " << i;
        memset(p, 0xA5, size);
        spans.emplace_back(reinterpret_cast<uintptr_t>(p), size);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        EXPECT_LE(spans[i - 1].first + spans[i - 1].second, spans[i].first);
}

// First request on a fresh pool: where it is served from, told by the log and by free_large.
TEST(MemPool, SmallAndLargeThreshold)
{
    const std::string block = "alloc from current block\n";
    const std::string fresh = "call zrc_mem_block\n";
    const std::string large = "alloc from large\n" + block; // the large record comes from the block
    struct Row {
        size_t block_size;
        size_t request;
        std::string log;
        int freed;
    } rows[] = {
        { 2048, 100, block, 0 },
        { 2048, 1968, block, 0 }, // exactly the first block's room after the pool record
        { 2048, 1969, fresh, 0 }, { 2048, 2016, fresh, 0 }, // exactly a fresh block's room after its header
        { 2048, 2017, large, 1 }, // small by size, but no block could hold it
        { 2048, 2048, large, 1 }, { 2048, 2049, large, 1 }, { 1000, 960, fresh, 0 }, { 1000, 1000, large, 1 },
        { 1000, 1001, large, 1 }, { 8192, 2048, block, 0 },
        { 8192, 2049, large, 1 }, // above the 2048 limit whatever the block size
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("block " + std::to_string(row.block_size) + ", request " + std::to_string(row.request));
        Log_Capture log;
        bg::Mem_Pool pool(row.block_size);
        pool.set_log(log.stream());
        void* p = pool.alloc(row.request);
        ASSERT_NE(p, nullptr);
        memset(p, 0x5A, row.request); // ASan reports any overrun of the block
        EXPECT_EQ(log.take(), row.log);
        EXPECT_EQ(pool.free_large(p), row.freed);
    }
}

TEST(MemPool, FreeLarge)
{
    Log_Capture log;
    bg::Mem_Pool pool(2048);
    pool.set_log(log.stream());
    void* small = pool.alloc(64);
    void* large = pool.alloc(5000);
    log.take();

    EXPECT_EQ(pool.free_large(small), 0);
    EXPECT_EQ(pool.free_large(nullptr), 0);
    int local = 0;
    EXPECT_EQ(pool.free_large(&local), 0);
    EXPECT_EQ(pool.free_large(large), 1);
    EXPECT_EQ(pool.free_large(large), 0);
    EXPECT_EQ(pool.free_large(nullptr), 0) << "a freed record must not match null";

    // The freed record is reused, so no new record is carved from the block.
    void* again = pool.alloc(6000);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(log.take(), "alloc from large\n");
}

TEST(MemPool, CleanupsRunNewestFirstAndOnce)
{
    g_cleanups.clear();
    int data[] = { 1, 2, 3, 4 };
    {
        bg::Mem_Pool pool(2048);
        EXPECT_EQ(pool.remove_cleanup(record_cleanup), 0);
        EXPECT_EQ(pool.add_cleanup(record_cleanup, &data[0]), 1);
        EXPECT_EQ(pool.add_cleanup(other_cleanup, &data[1]), 1);
        EXPECT_EQ(pool.add_cleanup(record_cleanup, &data[2]), 1);
        EXPECT_EQ(pool.add_cleanup(record_cleanup, &data[3]), 1);
        EXPECT_EQ(pool.remove_cleanup(other_cleanup), 1);
        EXPECT_EQ(pool.remove_cleanup(other_cleanup), 0);
        EXPECT_TRUE(g_cleanups.empty());
    }
    EXPECT_EQ(g_cleanups, (std::vector<int> { 4, 3, 1 }));
}

TEST(MemPool, CleanupsSurviveResetAndReuse)
{
    g_cleanups.clear();
    int data = 7;
    {
        bg::Mem_Pool pool(256);
        ASSERT_EQ(pool.add_cleanup(record_cleanup, &data), 1);
        pool.reset();
        for (int i = 0; i < 8; ++i)
            memset(pool.alloc(150), 0xFF, 150); // overwrites whatever the blocks held before the reset
    }
    EXPECT_EQ(g_cleanups, (std::vector<int> { 7 }));
}

TEST(MemPool, ResetReusesBlocksAndFreesLarge)
{
    bg::Mem_Pool pool(512);
    std::vector<void*> first;
    for (int i = 0; i < 6; ++i)
        first.push_back(pool.alloc(200));
    void* large = pool.alloc(4096);
    ASSERT_NE(large, nullptr);

    pool.reset();
    EXPECT_EQ(pool.free_large(large), 0) << "reset already freed it";
    std::vector<void*> second;
    for (int i = 0; i < 6; ++i)
        second.push_back(pool.alloc(200));
    EXPECT_EQ(first, second);
}

TEST(MemPool, BlocksThatKeepFailingAreSkipped)
{
    bg::Mem_Pool pool(256);
    void* in_first_block = pool.alloc(16);
    // Each 150-byte request fits no earlier block, so every search counts a failure on them.
    for (int i = 0; i < 10; ++i)
        ASSERT_NE(pool.alloc(150), nullptr);
    pool.reset();
    EXPECT_NE(pool.alloc(16), in_first_block);
}

TEST(MemPool, BlockTooSmallForItsOwnRecordFailsSafely)
{
    for (size_t size : { size_t { 0 }, size_t { 16 }, size_t { 64 } }) {
        SCOPED_TRACE(size);
        bg::Mem_Pool pool(size);
        EXPECT_EQ(pool.alloc(1), nullptr);
        EXPECT_EQ(pool.add_cleanup(record_cleanup, nullptr), -1);
        EXPECT_EQ(pool.remove_cleanup(record_cleanup), 0);
        EXPECT_EQ(pool.free_large(nullptr), 0);
        pool.reset();
    }
}

TEST(MemPool, CreateAndDestroy)
{
    bg::Mem_Pool pool(2048);
    bg::Abstract_MemPool* made = pool.create(4096);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->owner, pool.owner);
    EXPECT_EQ(made->free_large(made->alloc(2040)), 0) << "4096-byte blocks serve 2040 bytes";
    pool.destroy(&made);
    EXPECT_EQ(made, nullptr);
    pool.destroy(&made);
    pool.destroy(nullptr);
}

} // namespace
