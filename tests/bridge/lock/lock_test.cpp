#include <bridge/mutex.h>
#include <bridge/mutexrecursive.h>
#include <bridge/readwritemutex.h>
#include <bridge/readwritemutexrecursive.h>
#include <bridge/thread.h>

#include "readwritestate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace bg {

struct LockSnapshot {
    int waitingWriters;
    int waitingReaders;
    int writers;
    int activeReaders;
    std::unordered_map<uint32_t, int> readCounts;
    uint32_t writerThread;
};

// Reads the counts of a read-write mutex under its internal lock.
struct ReadWriteMutexProbe {
    template <typename M> static LockSnapshot snapshotOf(M& m)
    {
        std::lock_guard<Mutex> lock(m.m_state->mutex);
        LockSnapshot copy;
        copy.waitingWriters = m.m_state->waitingWriters;
        copy.waitingReaders = m.m_state->waitingReaders;
        copy.writers = m.m_state->writers;
        copy.activeReaders = m.m_state->activeReaders;
        copy.readCounts = m.m_state->readCounts;
        copy.writerThread = m.m_state->writerThread;
        return copy;
    }
};

} // namespace bg

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

// Events recorded by the threads of one scenario, in the order they happen.
class Journal {
public:
    void add(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    bool waitFor(const std::string& event)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kDeadline, [&] {
            for (const auto& e : m_events)
                if (e == event)
                    return true;
            return false;
        });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// A one-shot signal from the test to a thread.
class Gate {
public:
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cond.notify_all();
    }
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_open = false;
};

// Polls the mutex's state (no fixed sleep) until `pred` holds or the deadline passes.
template <typename M> bool waitForState(M& m, const std::function<bool(const bg::LockSnapshot&)>& pred)
{
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < until) {
        if (pred(bg::ReadWriteMutexProbe::snapshotOf(m)))
            return true;
        std::this_thread::yield();
    }
    return false;
}

bool tryFromOtherThread(bg::AbstractMutex& m)
{
    bool taken = false;
    std::thread([&] {
        taken = m.try_lock();
        if (taken)
            m.unlock();
    }).join();
    return taken;
}

} // namespace

TEST(Mutex, TryLockAnswersAtOnce)
{
    bg::Mutex m;
    EXPECT_TRUE(m.try_lock());
    EXPECT_FALSE(tryFromOtherThread(m));
    m.unlock();
    EXPECT_TRUE(tryFromOtherThread(m));
    std::lock_guard<bg::AbstractMutex> guard(m);
    EXPECT_FALSE(tryFromOtherThread(m));
}

TEST(MutexRecursive, HolderMayLockAgain)
{
    bg::MutexRecursive m;
    m.lock();
    EXPECT_TRUE(m.try_lock());
    m.lock();
    EXPECT_FALSE(tryFromOtherThread(m));
    m.unlock();
    m.unlock();
    EXPECT_FALSE(tryFromOtherThread(m));
    m.unlock();
    EXPECT_TRUE(tryFromOtherThread(m));
}

// Two readers hold the lock; a writer waits; a later reader waits behind the writer.
TEST(ReadWriteMutex, WaitingWriterGoesBeforeNewReaders)
{
    bg::ReadWriteMutex m;
    Journal journal;
    Gate writerDone;
    m.lock_read();
    m.lock_read();

    std::thread writer([&] {
        m.lock_write();
        journal.add("writer");
        writerDone.wait();
        m.unlock();
    });
    ASSERT_TRUE(waitForState(m, [](const bg::LockSnapshot& s) { return s.waitingWriters == 1; }));

    std::thread reader([&] {
        m.lock_read();
        journal.add("reader");
        m.unlock();
    });
    ASSERT_TRUE(waitForState(m, [](const bg::LockSnapshot& s) { return s.waitingReaders == 1; }));

    m.unlock();
    auto s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.writers, 0);
    EXPECT_EQ(s.activeReaders, 1);
    m.unlock();

    ASSERT_TRUE(journal.waitFor("writer"));
    s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.waitingReaders, 1);
    EXPECT_EQ(journal.events(), std::vector<std::string> { "writer" });

    writerDone.open();
    ASSERT_TRUE(journal.waitFor("reader"));
    writer.join();
    reader.join();
    EXPECT_EQ(journal.events(), (std::vector<std::string> { "writer", "reader" }));
}

TEST(ReadWriteMutex, ReadersShareAndWritersExclude)
{
    bg::ReadWriteMutex m;
    Journal journal;
    m.lock_write();
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&, i] {
            m.lock_read();
            journal.add("r" + std::to_string(i));
            m.unlock();
        });
    ASSERT_TRUE(waitForState(m, [](const bg::LockSnapshot& s) { return s.waitingReaders == 3; }));
    EXPECT_TRUE(journal.events().empty());
    m.unlock();
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(journal.events().size(), 3u);
    EXPECT_EQ(bg::ReadWriteMutexProbe::snapshotOf(m).activeReaders, 0);
}

TEST(ReadWriteMutexRecursive, WriterWakesOthersOnlyAfterLastUnlock)
{
    bg::ReadWriteMutexRecursive m;
    Journal journal;
    m.lock_write();
    m.lock_write();
    m.lock_write();
    std::thread other([&] {
        m.lock_write();
        journal.add("other");
        m.unlock();
    });
    ASSERT_TRUE(waitForState(m, [](const bg::LockSnapshot& s) { return s.waitingWriters == 1; }));

    m.unlock();
    m.unlock();
    auto s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.writers, 1);
    EXPECT_EQ(s.waitingWriters, 1);
    EXPECT_TRUE(journal.events().empty());

    m.unlock();
    ASSERT_TRUE(journal.waitFor("other"));
    other.join();
    s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.writers, 0);
    EXPECT_EQ(s.writerThread, 0u);
}

TEST(ReadWriteMutexRecursive, NestedReadsCountPerThread)
{
    bg::ReadWriteMutexRecursive m;
    m.lock_read();
    m.lock_read();
    m.unlock();
    auto s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.activeReaders, 1);
    ASSERT_EQ(s.readCounts.size(), 1u);
    EXPECT_EQ(s.readCounts.begin()->second, 1);
    m.unlock();
    s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.activeReaders, 0);
    EXPECT_TRUE(s.readCounts.empty());
}

// A thread in its own nested reads is not held up by a waiting writer.
TEST(ReadWriteMutexRecursive, NestedReadDoesNotWaitForWaitingWriter)
{
    bg::ReadWriteMutexRecursive m;
    Journal journal;
    m.lock_read();
    std::thread writer([&] {
        m.lock_write();
        journal.add("writer");
        m.unlock();
    });
    ASSERT_TRUE(waitForState(m, [](const bg::LockSnapshot& s) { return s.waitingWriters == 1; }));
    m.lock_read();
    m.unlock();
    EXPECT_TRUE(journal.events().empty());
    m.unlock();
    ASSERT_TRUE(journal.waitFor("writer"));
    writer.join();
}

TEST(ReadWriteMutexRecursive, UnlockFromForeignThreadWarnsAndChangesNothing)
{
    bg::ReadWriteMutexRecursive m;
    m.lock_write();
    const auto before = bg::ReadWriteMutexProbe::snapshotOf(m);
    testing::internal::CaptureStderr();
    std::thread([&] { m.unlock(); }).join();
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(), "[Warnning]: unlocking from a thread that did not lock");
    const auto after = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(after.writers, before.writers);
    EXPECT_EQ(after.writerThread, before.writerThread);
    EXPECT_EQ(after.activeReaders, before.activeReaders);
    m.unlock();
}

// Changing between a read and a write hold would wait for ever; it is refused instead.
TEST(ReadWriteMutexRecursive, UpgradeAndDowngradeAreRefused)
{
    bg::ReadWriteMutexRecursive m;
    m.lock_read();
    EXPECT_THROW(m.lock_write(), std::system_error);
    m.unlock();
    m.lock_write();
    EXPECT_THROW(m.lock_read(), std::system_error);
    m.unlock();
    const auto s = bg::ReadWriteMutexProbe::snapshotOf(m);
    EXPECT_EQ(s.writers, 0);
    EXPECT_EQ(s.activeReaders, 0);
}

TEST(StartDetachedThread, RunsTheFunctionOnceOnAnotherThread)
{
    struct Call {
        std::mutex mutex;
        std::condition_variable done;
        int calls = 0;
        std::thread::id thread;
    } call;
    bg::start_detached_thread(
        [](void* arg) {
            auto* c = static_cast<Call*>(arg);
            std::lock_guard<std::mutex> lock(c->mutex);
            ++c->calls;
            c->thread = std::this_thread::get_id();
            c->done.notify_all();
        },
        &call);
    std::unique_lock<std::mutex> lock(call.mutex);
    ASSERT_TRUE(call.done.wait_for(lock, kDeadline, [&] { return call.calls > 0; }));
    EXPECT_EQ(call.calls, 1);
    EXPECT_NE(call.thread, std::this_thread::get_id());
}
