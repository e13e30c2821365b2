#pragma once

// What a process costs, read from the kernel's process statistics: its CPU time (/proc/<pid>/stat, user and
// system) and resident set (/proc/<pid>/status, VmRSS), once or every interval on a thread of its own.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace procstats {

struct Sample {
    double seconds = 0; // since the sampler started (monotonic clock)
    double cpuSeconds = 0; // user + system time the process has used so far
    long rssKb = 0;
};

// One reading now (`seconds` left 0); false when the process is gone or its files cannot be read.
bool read(pid_t pid, Sample& out);
// The CPU seconds of one /proc/<pid>/stat line; false when it is not one.
bool parseStat(const std::string& line, double& cpuSeconds);

// CPU share between two samples: 1.0 is one core busy the whole time.
double cpuShare(const Sample& from, const Sample& to);

// One thread of a process: its id, its name (/proc/<pid>/task/<tid>/comm) and its CPU seconds so far.
struct ThreadTime {
    pid_t tid = 0;
    std::string name;
    double cpuSeconds = 0;
};
// Every thread of the process now; empty when it is gone.
std::vector<ThreadTime> threadTimes(pid_t pid);
// What each thread used from `before` to `after`, most first; threads that ended meanwhile are left out.
std::vector<ThreadTime> threadTimesBetween(
    const std::vector<ThreadTime>& before, const std::vector<ThreadTime>& after);

// Samples a process every `intervalMs` from start() to stop(), and once at each of them.
class Sampler {
public:
    explicit Sampler(pid_t pid, int intervalMs = 1000);
    ~Sampler();
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    void start();
    void stop();
    std::vector<Sample> samples() const;

    // Over every sample: CPU share from first to last, and the largest RSS.
    double cpuShare() const;
    long peakRssKb() const;

private:
    void sampleNow();

    const pid_t m_pid;
    const int m_intervalMs;
    std::chrono::steady_clock::time_point m_origin;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    std::vector<Sample> m_samples;
    std::thread m_thread;
};

} // namespace procstats
