#include <bridge/abstract_packetpool.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

using pp::Abstract_PacketPool;
using pp::FLMemNode;
using pp::FLQueueStatus;

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);

class PacketPoolTest : public testing::Test {
protected:
    void TearDown() override { pp::destroy_pktpool(&pool); }

    // A node whose payload is `length` bytes counting up from `first`.
    FLMemNode* makeNode(int length, uint8_t first = 0)
    {
        FLMemNode* node = pool->alloc(length);
        for (int i = 0; i < length; ++i)
            node->data[i] = uint8_t(first + i);
        return node;
    }

    void pushNode(int length, uint8_t first = 0)
    {
        ASSERT_EQ(pool->push(makeNode(length, first), 100, false), pp::FLQUE_OK);
    }

    Abstract_PacketPool* pool = pp::create_pktpool();
};

std::vector<uint8_t> counting(uint8_t first, int length)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < length; ++i)
        bytes.push_back(uint8_t(first + i));
    return bytes;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(PacketPoolStatus, TextsOfEveryStatus)
{
    const std::pair<int, const char*> cases[] = {
        { -1, "default -1" },
        { 0, "no error (OK)" },
        { 1, "force exit" },
        { 2, "no data" },
        { 3, "queue full" },
        { 4, "malloc failed" },
        { 5, "param error" },
        { 7, "unknow queue statu" },
        { -2, "unknow queue statu" },
    };
    for (const auto& c : cases)
        EXPECT_STREQ(pp::pcQueErr(FLQueueStatus(c.first)), c.second) << c.first;
}

TEST_F(PacketPoolTest, ReadJoinsPayloadsAcrossNodes)
{
    pushNode(100, 0);
    pushNode(50, 100);
    pushNode(30, 150);

    std::vector<uint8_t> buffer(120);
    ASSERT_EQ(pool->read(buffer.data(), 120), pp::FLQUE_OK);
    EXPECT_EQ(buffer, counting(0, 120));
    EXPECT_EQ(pool->count(), 1);
    EXPECT_EQ(pool->get_attr("unused", -7), -7);

    buffer.assign(60, 0);
    ASSERT_EQ(pool->read(buffer.data(), 60), pp::FLQUE_OK);
    EXPECT_EQ(buffer, counting(120, 60));
    EXPECT_EQ(pool->count(), 0);

    // Every node went back to the node pool.
    char* text = nullptr;
    size_t length = 0;
    FILE* stream = open_memstream(&text, &length);
    pool->dump("pkt", stream);
    fclose(stream);
    EXPECT_NE(std::string(text, length).find("(id=  2)"), std::string::npos);
    free(text);
}

TEST_F(PacketPoolTest, ReadWithinOneNodeAndSkipsEmptyNodes)
{
    pushNode(10, 0);
    pushNode(1, 200);
    pool->node_at(1)->used = 0;
    pushNode(4, 50);

    uint8_t small[3] = {};
    ASSERT_EQ(pool->read(small, 3), pp::FLQUE_OK);
    EXPECT_EQ(std::vector<uint8_t>(small, small + 3), counting(0, 3));
    std::vector<uint8_t> rest(9);
    ASSERT_EQ(pool->read(rest.data(), 9), pp::FLQUE_OK);
    EXPECT_EQ(rest, concat(counting(3, 7), counting(50, 2)));
}

TEST_F(PacketPoolTest, BadArgumentsAreRefused)
{
    pushNode(5);
    uint8_t byte = 0;
    EXPECT_EQ(pool->read(&byte, 0), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->read(nullptr, 1), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->count(), 1);

    EXPECT_EQ(pool->push(nullptr, 10, false), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push_unbounded(nullptr), pp::FLQUE_PARAM);
    FLMemNode* node = pool->alloc(8);
    node->used = -1;
    EXPECT_EQ(pool->push(node, 10, false), pp::FLQUE_PARAM);
    node->used = 8;
    // No room at all: dropping would never make room.
    EXPECT_EQ(pool->push_drop_oldest(node, 0), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push_drop_oldest(node, -3), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push(node, 0, false), pp::FLQUE_FULL);
    // Blocking on a queue that can hold nothing would wait forever, even while it is empty.
    EXPECT_EQ(pool->push(node, 0, true), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push(node, -1, true), pp::FLQUE_PARAM);
    // A payload longer than its block would let read copy past the block.
    const int capacity = node->total - int(node->data - reinterpret_cast<uint8_t*>(node));
    node->used = capacity + 1;
    EXPECT_EQ(pool->push(node, 10, false), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push_unbounded(node), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->push_drop_oldest(node, 10), pp::FLQUE_PARAM);
    EXPECT_EQ(pool->count(), 1);
    node->used = capacity;
    ASSERT_EQ(pool->push(node, 10, false), pp::FLQUE_OK);
    EXPECT_EQ(pool->count(), 2);
}

TEST_F(PacketPoolTest, FullQueueAndDropOldest)
{
    pushNode(1, 1);
    pushNode(1, 2);
    EXPECT_EQ(pool->bytes(), 40);

    FLMemNode* node = makeNode(1, 3);
    EXPECT_EQ(pool->push(node, 2, false), pp::FLQUE_FULL);
    EXPECT_EQ(pool->count(), 2);
    ASSERT_EQ(pool->push_drop_oldest(node, 2), pp::FLQUE_OK);
    ASSERT_EQ(pool->count(), 2);
    EXPECT_EQ(pool->node_at(0)->data[0], 2);
    EXPECT_EQ(pool->node_at(1)->data[0], 3);
    EXPECT_EQ(pool->node_at(2), nullptr);
    EXPECT_EQ(pool->node_at(-1), nullptr);

    // Shrinking the limit drops as many as needed.
    ASSERT_EQ(pool->push_drop_oldest(makeNode(1, 4), 1), pp::FLQUE_OK);
    ASSERT_EQ(pool->count(), 1);
    EXPECT_EQ(pool->node_at(0)->data[0], 4);
    EXPECT_EQ(pool->push_unbounded(makeNode(1, 5)), pp::FLQUE_OK);
    EXPECT_EQ(pool->count(), 2);
}

TEST_F(PacketPoolTest, PopTakesNodesInOrderAndTimesOut)
{
    pushNode(3, 10);
    pushNode(3, 20);
    FLMemNode* node = nullptr;
    ASSERT_EQ(pool->pop_node(&node, false), pp::FLQUE_OK);
    EXPECT_EQ(node->data[0], 10);
    EXPECT_EQ(node->ref, 1);
    pool->release_node(&node);
    ASSERT_EQ(pool->pop_node_for(&node, 50), pp::FLQUE_OK);
    EXPECT_EQ(node->data[0], 20);
    pool->release_node(&node);

    node = reinterpret_cast<FLMemNode*>(0x1);
    EXPECT_EQ(pool->pop_node(&node, false), pp::FLQUE_NODATA);
    EXPECT_EQ(node, nullptr);
    node = reinterpret_cast<FLMemNode*>(0x1);
    EXPECT_EQ(pool->pop_node_for(&node, 50), pp::FLQUE_NODATA);
    EXPECT_EQ(node, nullptr);
}

TEST_F(PacketPoolTest, PeekAddsAReference)
{
    FLMemNode* out = nullptr;
    EXPECT_EQ(pool->peek_node(&out, false), pp::FLQUE_NODATA);
    pushNode(2, 9);
    ASSERT_EQ(pool->peek_node(&out, false), pp::FLQUE_OK);
    EXPECT_EQ(out->ref, 2);
    EXPECT_EQ(pool->count(), 1);
    FLMemNode* head = out;
    pool->release_node(&out);
    EXPECT_EQ(head->ref, 1);

    head->ref = -2;
    testing::internal::CaptureStderr();
    ASSERT_EQ(pool->peek_node(&out, false), pp::FLQUE_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[ERROR] *** FLMemNode invalid ref\n");
    EXPECT_EQ(out, head);
    EXPECT_EQ(head->ref, 0);
    head->ref = 1;
}

TEST_F(PacketPoolTest, CloseEndsEveryOperationUntilReopened)
{
    pushNode(4);
    pool->close();
    EXPECT_TRUE(pool->is_closed());
    EXPECT_EQ(pool->alloc(10), nullptr);
    FLMemNode* out = nullptr;
    EXPECT_EQ(pool->pop_node(&out, true), pp::FLQUE_EXIT);
    EXPECT_EQ(pool->peek_node(&out, true), pp::FLQUE_EXIT);
    uint8_t byte;
    EXPECT_EQ(pool->read(&byte, 1), pp::FLQUE_EXIT);
    EXPECT_EQ(pool->count(), 1) << "queued nodes stay while closed";

    pool->set_exit(false);
    EXPECT_FALSE(pool->is_closed());
    FLMemNode* node = pool->alloc(10);
    ASSERT_NE(node, nullptr);
    pool->set_exit(true);
    EXPECT_EQ(pool->push(node, 10, true), pp::FLQUE_EXIT);
    EXPECT_EQ(pool->push_unbounded(node), pp::FLQUE_EXIT);
    pool->release_node(&node);
}

TEST_F(PacketPoolTest, BlockedReadIsReleasedByClose)
{
    pushNode(3, 7);
    std::vector<uint8_t> buffer(10, 0);
    auto reader = std::async(std::launch::async, [&] { return pool->read(buffer.data(), 10); });
    // The reader has taken the queued node before it can wait for more.
    const auto giveUp = std::chrono::steady_clock::now() + kDeadline;
    while (pool->count() != 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    pool->close();
    ASSERT_EQ(reader.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(reader.get(), pp::FLQUE_EXIT);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 3), counting(7, 3));
}

TEST_F(PacketPoolTest, BlockedPushWaitsForRoomOrClose)
{
    pushNode(1, 1);
    auto producer = std::async(std::launch::async, [this] { return pool->push(makeNode(1, 2), 1, true); });
    FLMemNode* out = nullptr;
    ASSERT_EQ(pool->pop_node(&out, true), pp::FLQUE_OK);
    EXPECT_EQ(out->data[0], 1);
    pool->release_node(&out);
    ASSERT_EQ(producer.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(producer.get(), pp::FLQUE_OK);
    EXPECT_EQ(pool->count(), 1);

    FLMemNode* waiting = makeNode(1, 3);
    auto blocked = std::async(std::launch::async, [&] { return pool->push(waiting, 1, true); });
    pool->close();
    ASSERT_EQ(blocked.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(blocked.get(), pp::FLQUE_EXIT);
    pool->release_node(&waiting);
}

TEST_F(PacketPoolTest, ClearReleasesQueuedAndPartlyReadNodes)
{
    pushNode(10, 0);
    pushNode(10, 10);
    uint8_t bytes[4];
    ASSERT_EQ(pool->read(bytes, 4), pp::FLQUE_OK);
    pool->close();
    pool->clear();
    EXPECT_EQ(pool->count(), 0);
    EXPECT_EQ(pool->bytes(), 0);
    EXPECT_TRUE(pool->is_closed());
    pool->set_exit(false);
    pushNode(2, 100);
    ASSERT_EQ(pool->read(bytes, 2), pp::FLQUE_OK);
    EXPECT_EQ(bytes[0], 100) << "the partly read node was dropped";
    pool->free_idle();
}

TEST_F(PacketPoolTest, AttributesKeepTheFirstValue)
{
    pool->set_attr("rate", 1);
    pool->set_attr("rate", 2);
    EXPECT_EQ(pool->get_attr("rate", 0), 1);
    EXPECT_EQ(pool->get_attr("other", 99), 99);
    pool->set_attr("big", INT64_MIN);
    EXPECT_EQ(pool->get_attr("big", 0), INT64_MIN);
}

TEST_F(PacketPoolTest, ProducersAndAReaderKeepEveryByteInOrder)
{
    constexpr int kProducers = 3;
    constexpr int kPackets = 500;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([this, p] {
            for (int i = 0; i < kPackets; ++i) {
                // Each packet: producer id and a 32-bit sequence number.
                FLMemNode* node = pool->alloc(5);
                node->data[0] = uint8_t(p);
                memcpy(node->data + 1, &i, 4);
                if (pool->push(node, 8, true) != pp::FLQUE_OK)
                    pool->release_node(&node);
            }
        });
    }
    std::vector<int> next(kProducers, 0);
    bool ordered = true;
    for (int n = 0; n < kProducers * kPackets; ++n) {
        // Reads cut across packet boundaries on purpose.
        uint8_t packet[5];
        ASSERT_EQ(pool->read(packet, 2), pp::FLQUE_OK);
        ASSERT_EQ(pool->read(packet + 2, 3), pp::FLQUE_OK);
        int sequence;
        memcpy(&sequence, packet + 1, 4);
        ASSERT_LT(packet[0], kProducers);
        ordered = ordered && sequence == next[packet[0]];
        ++next[packet[0]];
    }
    for (auto& thread : producers)
        thread.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(pool->count(), 0);
}
