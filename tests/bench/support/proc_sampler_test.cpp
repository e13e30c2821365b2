#include "support/proc_sampler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

TEST(ProcStats, ParsesTheTimesAfterTheLastParenthesis)
{
    const long ticks = ::sysconf(_SC_CLK_TCK);
    struct Case {
        const char* line;
        bool ok;
        double cpuTicks;
    };
    const Case cases[] = {
        { "42 (sleep) S 1 42 42 0 -1 4194304 100 0 0 0 250 50 0 0 20 0 1 0 100 1000 10", true, 300 },
        // A program may name itself with spaces and parentheses.
        { "42 (a b) (c)) R 1 42 42 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 100 1000 10", true, 10 },
        { "42 (short) S 1 42", false, 0 },
        { "42 (bad) S 1 42 42 0 -1 0 0 0 0 0 x 3 0", false, 0 },
        { "no name at all", false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        double seconds = -1;
        EXPECT_EQ(procstats::parseStat(c.line, seconds), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(seconds, c.cpuTicks / double(ticks));
        }
    }
}

// The process's own figures follow what it does: CPU time it burns and memory it touches.
TEST(ProcStats, FollowsCpuAndResidentMemory)
{
    procstats::Sample before;
    ASSERT_TRUE(procstats::read(::getpid(), before));
    EXPECT_GT(before.rssKb, 0);

    constexpr size_t kBytes = 64u << 20;
    std::unique_ptr<char[]> block(new char[kBytes]);
    std::memset(block.get(), 1, kBytes);
    const double start = threadCpuSeconds();
    volatile unsigned spin = 0;
    while (threadCpuSeconds() - start < 0.3)
        spin = spin + 1;

    procstats::Sample after;
    ASSERT_TRUE(procstats::read(::getpid(), after));
    EXPECT_GE(after.cpuSeconds - before.cpuSeconds, 0.28);
    EXPECT_GE(after.rssKb - before.rssKb, 60 * 1024);
    EXPECT_EQ(block[kBytes - 1], 1);
}

// Each thread's time under its own name: a thread that burned CPU between two readings comes first.
TEST(ProcStats, ThreadTimesNameWhoUsedTheCpu)
{
    const std::vector<procstats::ThreadTime> before = procstats::threadTimes(::getpid());
    ASSERT_FALSE(before.empty());
    std::atomic<bool> burned { false };
    std::atomic<bool> release { false };
    std::thread busy([&] {
        ::pthread_setname_np(::pthread_self(), "busy-thread");
        const double start = threadCpuSeconds();
        volatile unsigned spin = 0;
        while (threadCpuSeconds() - start < 0.3)
            spin = spin + 1;
        burned = true;
        while (!release) // still there at the second reading
            ::usleep(1000);
    });
    while (!burned)
        ::usleep(1000);
    const std::vector<procstats::ThreadTime> used
        = procstats::threadTimesBetween(before, procstats::threadTimes(::getpid()));
    release = true;
    busy.join();
    ASSERT_FALSE(used.empty());
    EXPECT_EQ(used.front().name, "busy-thread");
    EXPECT_GT(used.front().cpuSeconds, 0.2);
    for (size_t i = 1; i < used.size(); ++i)
        EXPECT_GE(used[i - 1].cpuSeconds, used[i].cpuSeconds);

    EXPECT_TRUE(procstats::threadTimes(-1).empty());
}

TEST(ProcStats, AGoneProcessGivesNoReading)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    procstats::Sample sample;
    EXPECT_FALSE(procstats::read(child, sample));

    procstats::Sampler sampler(child);
    sampler.start();
    sampler.stop();
    EXPECT_TRUE(sampler.samples().empty());
    EXPECT_EQ(sampler.cpuShare(), 0);
}

// Samples come once an interval, on time, from start to stop; an idle process shows (almost) no CPU.
TEST(ProcStats, SamplesEachIntervalUntilStopped)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    procstats::Sampler sampler(child, 250);
    sampler.start();
    ::usleep(1100 * 1000);
    sampler.stop();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    const std::vector<procstats::Sample> samples = sampler.samples();
    ASSERT_GE(samples.size(), 5u); // at start, four ticks, at stop
    EXPECT_LT(samples.front().seconds, 0.1);
    for (size_t i = 1; i < samples.size(); ++i)
        EXPECT_GT(samples[i].seconds, samples[i - 1].seconds);
    EXPECT_NEAR(samples[1].seconds, 0.25, 0.2);
    EXPECT_LT(sampler.cpuShare(), 0.2);
    EXPECT_GT(sampler.peakRssKb(), 0);
}

} // namespace
