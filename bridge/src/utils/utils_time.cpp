#include <bridge/utils.h>

#include <ctime>
#include <thread>

namespace bg {

namespace {

    constexpr int kRingSize = 8;
    constexpr size_t kRingTextSize = 64;
    constexpr int kHighResolution = 1;

    int64_t clock_ns(clockid_t clock)
    {
        timespec ts {};
        clock_gettime(clock, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    // The high-resolution clock is the monotonic clock shifted once onto wall time, so that readings in mode
    // 1 are comparable with mode 0 yet never step backwards afterwards. The offset is kept in nanoseconds: a
    // whole-second offset would put mode 1 up to a second away from the wall clock.
    int64_t high_resolution_ns()
    {
        static const int64_t offset = clock_ns(CLOCK_REALTIME) - clock_ns(CLOCK_MONOTONIC);
        return clock_ns(CLOCK_MONOTONIC) + offset;
    }

    int64_t now_ns(int mode)
    {
        return mode == kHighResolution ? high_resolution_ns() : clock_ns(CLOCK_REALTIME);
    }

    size_t format_local(char* buffer, size_t size, time_t t, const char* format)
    {
        tm local {};
        if (!format || !localtime_r(&t, &local)) {
            buffer[0] = '\0';
            return 0;
        }
        size_t length = strftime(buffer, size, format, &local);
        buffer[length] = '\0'; // strftime leaves the buffer undefined when the text does not fit
        return length;
    }

} // namespace

const char* Utils::time_str(const char* format)
{
    // One ring per thread: loggers on several threads never overwrite each other's stamps.
    thread_local char ring[kRingSize][kRingTextSize];
    thread_local int next = 0;
    char* buffer = ring[next];
    next = (next + 1) % kRingSize;
    format_local(buffer, kRingTextSize, time(nullptr), format);
    return buffer;
}

std::string Utils::time_str_at(int64_t t, const char* format)
{
    char buffer[128];
    size_t length = format_local(buffer, sizeof buffer, time_t(t), format);
    return std::string(buffer, length);
}

int64_t Utils::now_time(int mode) { return now_ns(mode) / 1000; }

int64_t Utils::now_ticks(int mode) { return now_ns(mode); }

int Utils::time_of_day(Timeval* out, void*)
{
    if (out) {
        int64_t us = now_time(0);
        out->tv_sec = int32_t(us / 1000000);
        out->tv_usec = int32_t(us % 1000000);
    }
    return 0;
}

void Utils::set_timer_resolution(bool)
{
    // Linux timers already run at their finest resolution; there is nothing to request.
}

int Utils::sleep_s(int seconds)
{
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}

int Utils::sleep_ms(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

int Utils::sleep_us(int64_t microseconds)
{
    if (microseconds > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    return 0;
}

} // namespace bg
