#include <bridge/thread.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace bg {

void start_detached_thread(void (*fn)(void*), void* arg)
{
    struct Start {
        std::mutex mutex;
        std::condition_variable started;
        bool running = false;
    } start;
    // std::thread throws std::system_error when the thread cannot be created.
    std::thread thread([&start, fn, arg] {
        {
            // Notified under the lock: `start` lives on the caller's stack and is gone once the caller
            // has seen `running`, which it can only do after this scope releases the lock.
            std::lock_guard<std::mutex> lock(start.mutex);
            start.running = true;
            start.started.notify_one();
        }
        fn(arg);
    });
    std::unique_lock<std::mutex> lock(start.mutex);
    start.started.wait(lock, [&start] { return start.running; });
    thread.detach();
}

} // namespace bg
