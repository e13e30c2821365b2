#include <bridge/blocking_io.h>
#include <bridge/mutex.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace bg {

struct Blocking_IO_State {
    std::deque<std::string> queue;
    Mutex lock;
    std::condition_variable_any readable;
    const std::string empty;
    std::atomic<bool> stopped { false };
};

Blocking_IO::Blocking_IO()
    : state_(std::make_unique<Blocking_IO_State>())
{
}

Blocking_IO::~Blocking_IO() { stop(); }

bool Blocking_IO::push(const std::string& item)
{
    if (state_->stopped)
        return false;
    std::lock_guard<Mutex> guard(state_->lock);
    if (state_->stopped)
        return false;
    state_->queue.push_back(item);
    state_->readable.notify_one();
    return true;
}

std::string Blocking_IO::pop()
{
    if (state_->stopped)
        return state_->empty;
    std::unique_lock<Mutex> guard(state_->lock);
    state_->readable.wait(guard, [this] { return state_->stopped || !state_->queue.empty(); });
    if (state_->stopped)
        return state_->empty;
    std::string item = std::move(state_->queue.front());
    state_->queue.pop_front();
    return item;
}

std::string Blocking_IO::pop_wait(int32_t ms)
{
    if (state_->stopped)
        return state_->empty;
    std::unique_lock<Mutex> guard(state_->lock);
    while (!state_->stopped && state_->queue.empty()) {
        if (ms <= 0)
            return state_->empty;
        // Each wake-up that finds the queue empty again (another reader was first) waits the full time anew.
        const bool woken = state_->readable.wait_for(guard, std::chrono::milliseconds(ms),
            [this] { return state_->stopped || !state_->queue.empty(); });
        if (!woken)
            return state_->empty;
    }
    if (state_->stopped)
        return state_->empty;
    std::string item = std::move(state_->queue.front());
    state_->queue.pop_front();
    return item;
}

void Blocking_IO::stop()
{
    if (state_->stopped)
        return;
    std::lock_guard<Mutex> guard(state_->lock);
    state_->stopped = true;
    state_->readable.notify_all();
}

bool Blocking_IO::is_stopped() const { return state_->stopped; }

} // namespace bg
