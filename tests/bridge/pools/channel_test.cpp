#include <bridge/blocking_io.h>
#include <bridge/channel.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Record = bg::Abstract_Channel::Record;

constexpr auto kDeadline = 10s;

Record make_record(unsigned char seed)
{
    Record r;
    for (size_t i = 0; i < sizeof r.bytes; ++i)
        r.bytes[i] = static_cast<unsigned char>(seed + i);
    return r;
}

// Counts items taken by consumers and lets the test wait for a total, with a deadline.
class Progress {
public:
    void add()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool wait_for_total(int total)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] { return count_ >= total; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Waits, with a deadline, until thread `tid` of this process sleeps: a reader that has started to wait in a
// queue. Without this, a reader could reach the queue only after `stop`, and a stop that forgot to wake the
// waiting readers would go unnoticed.
bool wait_until_asleep(pid_t tid)
{
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
    const auto until = Clock::now() + kDeadline;
    while (Clock::now() < until) {
        std::ifstream stat(path);
        const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // The state letter follows the thread's name, which is in parentheses and may hold blanks itself.
        const size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S')
            return true;
        std::this_thread::yield();
    }
    return false;
}

TEST(BlockingIO, ManyProducersAndConsumersEachItemOnceInOrder)
{
    constexpr int kProducers = 4;
    constexpr int kConsumers = 4;
    constexpr int kItems = 2000;
    bg::Blocking_IO queue;
    Progress progress;
    std::vector<std::vector<std::string>> taken(kConsumers);

    std::vector<std::thread> consumers;
    for (int c = 0; c < kConsumers; ++c) {
        consumers.emplace_back([&, c] {
            for (;;) {
                std::string item = c % 2 ? queue.pop() : queue.pop_wait(50);
                if (item.empty()) {
                    if (queue.is_stopped())
                        return;
                    continue; // a time-out of pop_wait
                }
                taken[c].push_back(std::move(item));
                progress.add();
            }
        });
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kItems; ++i)
                ASSERT_TRUE(queue.push(std::to_string(p) + ":" + std::to_string(i)));
        });
    }
    for (std::thread& t : producers)
        t.join();
    EXPECT_TRUE(progress.wait_for_total(kProducers * kItems));
    queue.stop();
    for (std::thread& t : consumers)
        t.join();

    std::set<std::string> seen;
    for (const auto& items : taken) {
        std::map<int, int> last; // producer -> last index this consumer saw
        for (const std::string& item : items) {
            EXPECT_TRUE(seen.insert(item).second) << "twice: " << item;
            const int producer = std::stoi(item.substr(0, item.find(':')));
            const int index = std::stoi(item.substr(item.find(':') + 1));
            auto it = last.find(producer);
            if (it != last.end()) {
                EXPECT_LT(it->second, index) << "out of order: " << item;
            }
            last[producer] = index;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kProducers * kItems));
}

TEST(BlockingIO, PopWaitTimeBounds)
{
    bg::Blocking_IO queue;
    for (int ms : { 0, -1 }) {
        const auto start = Clock::now();
        EXPECT_EQ(queue.pop_wait(ms), "");
        EXPECT_LT(Clock::now() - start, 1s) << "no wait for " << ms;
    }

    const auto start = Clock::now();
    EXPECT_EQ(queue.pop_wait(100), "");
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 5s);

    // An item pushed during the wait ends it with that item.
    std::promise<void> waiting;
    auto reader = std::async(std::launch::async, [&] {
        waiting.set_value();
        return queue.pop_wait(60000);
    });
    waiting.get_future().wait();
    EXPECT_TRUE(queue.push("late"));
    ASSERT_EQ(reader.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(reader.get(), "late");
}

TEST(BlockingIO, StopWakesEveryBlockedReader)
{
    bg::Blocking_IO queue;
    std::vector<std::future<std::string>> readers;
    std::vector<std::future<pid_t>> threads;
    for (int i = 0; i < 6; ++i) {
        auto started = std::make_shared<std::promise<pid_t>>();
        threads.push_back(started->get_future());
        readers.push_back(std::async(std::launch::async, [&queue, started, i] {
            started->set_value(gettid());
            return i % 2 ? queue.pop() : queue.pop_wait(600000);
        }));
    }
    for (auto& thread : threads)
        EXPECT_TRUE(wait_until_asleep(thread.get()));
    queue.stop();
    for (auto& reader : readers) {
        ASSERT_EQ(reader.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(reader.get(), "");
    }
    EXPECT_TRUE(queue.is_stopped());
}

TEST(BlockingIO, StoppedQueueRefusesAndDiscards)
{
    bg::Blocking_IO queue;
    EXPECT_FALSE(queue.is_stopped());
    EXPECT_TRUE(queue.push("a"));
    EXPECT_TRUE(queue.push("b"));
    EXPECT_EQ(queue.pop(), "a");
    queue.stop();
    queue.stop();
    EXPECT_FALSE(queue.push("c"));
    EXPECT_EQ(queue.pop(), "") << "'b' is still queued but must not come out";
    EXPECT_EQ(queue.pop_wait(100), "");
}

TEST(Channel, RecordsTravelWhole)
{
    bg::Channel channel;
    const Record first = make_record(1);
    const Record second = make_record(100);
    ASSERT_TRUE(channel.send_record(&first));
    ASSERT_TRUE(channel.send_record(&second));

    Record out;
    memset(&out, 0xEE, sizeof out);
    ASSERT_TRUE(channel.recv_record(&out));
    EXPECT_EQ(memcmp(&out, &first, sizeof out), 0);
    ASSERT_TRUE(channel.recv_record_wait(&out, 0));
    EXPECT_EQ(memcmp(&out, &second, sizeof out), 0);

    // A failed receive leaves the record untouched.
    EXPECT_FALSE(channel.recv_record_wait(&out, 10));
    EXPECT_EQ(memcmp(&out, &second, sizeof out), 0);
    EXPECT_FALSE(channel.send_record(nullptr));

    channel.stop();
    EXPECT_TRUE(channel.is_stopped());
    EXPECT_FALSE(channel.send_record(&first));
    EXPECT_FALSE(channel.recv_record(&out));
    EXPECT_EQ(memcmp(&out, &second, sizeof out), 0);
}

TEST(Channel, NamedChannelsAreSharedByName)
{
    int component = 0; // stands for an owner; only its address matters
    bg::Channel parent(reinterpret_cast<bg::Interface*>(&component));
    auto a = parent.get_channel("audio");
    auto b = parent.get_channel(std::string("audio"));
    auto c = parent.get_channel("video");
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a->owner, parent.owner);
    EXPECT_NE(a.get(), static_cast<bg::Abstract_Channel*>(&parent));

    const Record r = make_record(7);
    ASSERT_TRUE(b->send_record(&r));
    Record out {};
    EXPECT_TRUE(a->recv_record_wait(&out, 0));
    EXPECT_FALSE(c->recv_record_wait(&out, 0)) << "names do not share a queue";
}

TEST(Channel, ConcurrentFirstRequestsMeetOnOneChannel)
{
    bg::Channel parent;
    std::vector<std::future<std::shared_ptr<bg::Abstract_Channel>>> askers;
    for (int i = 0; i < 8; ++i)
        askers.push_back(std::async(std::launch::async, [&] { return parent.get_channel("meet"); }));
    const auto first = askers[0].get();
    for (size_t i = 1; i < askers.size(); ++i)
        EXPECT_EQ(askers[i].get(), first);
}

TEST(Channel, HeldNamedChannelIsStoppedWithItsParent)
{
    std::shared_ptr<bg::Abstract_Channel> held;
    std::future<bool> blocked;
    {
        bg::Channel parent;
        held = parent.get_channel("events");
        std::promise<pid_t> reading;
        blocked = std::async(std::launch::async, [&held, &reading] {
            reading.set_value(gettid());
            Record out;
            return held->recv_record(&out);
        });
        EXPECT_TRUE(wait_until_asleep(reading.get_future().get()));
    }
    ASSERT_EQ(blocked.wait_for(kDeadline), std::future_status::ready);
    EXPECT_FALSE(blocked.get());
    EXPECT_TRUE(held->is_stopped());
    Record out;
    EXPECT_FALSE(held->recv_record(&out));
    const Record r = make_record(3);
    EXPECT_FALSE(held->send_record(&r));
}

} // namespace
