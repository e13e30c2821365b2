#include "support/proc_sampler.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace procstats {

bool parseStat(const std::string& line, double& cpuSeconds)
{
    // The command name is in parentheses and may hold spaces and parentheses: the fields count from the
    // last ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size())
        return false;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name: state (field 3) ... utime (14), stime (15), in clock ticks.
    int index = 3;
    for (; index <= 15 && fields >> field; ++index) {
        if (index != 14 && index != 15)
            continue;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(field.c_str(), &end, 10);
        if (!end || *end)
            return false;
        (index == 14 ? utime : stime) = value;
    }
    if (index != 16)
        return false;
    const long ticks = ::sysconf(_SC_CLK_TCK);
    cpuSeconds = double(utime + stime) / double(ticks > 0 ? ticks : 100);
    return true;
}

bool read(pid_t pid, Sample& out)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    std::ifstream stat(dir + "stat");
    std::string line;
    if (!std::getline(stat, line) || !parseStat(line, out.cpuSeconds))
        return false;

    std::ifstream status(dir + "status");
    out.rssKb = -1;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            out.rssKb = std::strtol(line.c_str() + 6, nullptr, 10);
            break;
        }
    }
    return out.rssKb >= 0;
}

double cpuShare(const Sample& from, const Sample& to)
{
    const double wall = to.seconds - from.seconds;
    return wall > 0 ? (to.cpuSeconds - from.cpuSeconds) / wall : 0;
}

std::vector<ThreadTime> threadTimes(pid_t pid)
{
    std::vector<ThreadTime> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(tasks.c_str());
    if (!dir)
        return threads;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        if (tid <= 0 || *end)
            continue;
        const std::string task = tasks + "/" + entry->d_name + "/";
        ThreadTime thread;
        thread.tid = pid_t(tid);
        std::ifstream stat(task + "stat");
        std::string line;
        if (!std::getline(stat, line) || !parseStat(line, thread.cpuSeconds))
            continue; // ended meanwhile
        std::ifstream comm(task + "comm");
        std::getline(comm, thread.name);
        threads.push_back(std::move(thread));
    }
    ::closedir(dir);
    return threads;
}

std::vector<ThreadTime> threadTimesBetween(
    const std::vector<ThreadTime>& before, const std::vector<ThreadTime>& after)
{
    std::vector<ThreadTime> used;
    for (const ThreadTime& thread : after) {
        const auto earlier = std::find_if(before.begin(), before.end(),
            [&thread](const ThreadTime& candidate) { return candidate.tid == thread.tid; });
        ThreadTime difference = thread;
        if (earlier != before.end())
            difference.cpuSeconds -= earlier->cpuSeconds;
        used.push_back(std::move(difference));
    }
    std::stable_sort(used.begin(), used.end(),
        [](const ThreadTime& a, const ThreadTime& b) { return a.cpuSeconds > b.cpuSeconds; });
    return used;
}

Sampler::Sampler(pid_t pid, int intervalMs)
    : m_pid(pid)
    , m_intervalMs(intervalMs)
{
}

Sampler::~Sampler() { stop(); }

void Sampler::sampleNow()
{
    Sample sample;
    const auto now = std::chrono::steady_clock::now();
    if (!read(m_pid, sample))
        return;
    sample.seconds = std::chrono::duration<double>(now - m_origin).count();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_samples.push_back(sample);
}

void Sampler::start()
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_samples.clear();
        m_running = true;
    }
    m_origin = std::chrono::steady_clock::now();
    sampleNow();
    m_thread = std::thread([this] {
        auto next = m_origin;
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_running) {
            next += std::chrono::milliseconds(m_intervalMs);
            if (m_wake.wait_until(lock, next, [this] { return !m_running; }))
                break;
            lock.unlock();
            sampleNow();
            lock.lock();
        }
    });
}

void Sampler::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_wake.notify_all();
    m_thread.join();
    sampleNow();
}

std::vector<Sample> Sampler::samples() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samples;
}

double Sampler::cpuShare() const
{
    const std::vector<Sample> all = samples();
    return all.size() < 2 ? 0 : procstats::cpuShare(all.front(), all.back());
}

long Sampler::peakRssKb() const
{
    long peak = 0;
    for (const Sample& sample : samples())
        peak = std::max(peak, sample.rssKb);
    return peak;
}

} // namespace procstats
