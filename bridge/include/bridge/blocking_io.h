#pragma once

#include <bridge/bg_export.h>

#include <cstdint>
#include <memory>
#include <string>

namespace bg {

struct Blocking_IO_State;

// A first-in first-out queue of byte strings whose readers block until an item arrives, a time-out
// passes or the queue is stopped. Any number of threads may push and pop at once. Refusals are results:
// `push` gives false and the pops give the empty string once the queue is stopped; queued items are then
// discarded. The owner stops the queue and lets blocked readers return before destroying it.
class BG_API Blocking_IO {
public:
    Blocking_IO();
    // Stops the queue, then releases it.
    virtual ~Blocking_IO();
    Blocking_IO(const Blocking_IO&) = delete;
    Blocking_IO& operator=(const Blocking_IO&) = delete;

    // Queues a copy of `item`; false (and the item dropped) when stopped.
    virtual bool push(const std::string& item);
    // The oldest item, waiting for one; the empty string when stopped, even with items still queued.
    virtual std::string pop();
    // As pop, each wait bounded by `ms` milliseconds (<= 0: no wait); the empty string on time-out.
    virtual std::string pop_wait(int32_t ms);
    // Wakes every blocked reader; later calls do nothing. The queue never reopens.
    virtual void stop();
    virtual bool is_stopped() const;

private:
    std::unique_ptr<Blocking_IO_State> state_;
};

} // namespace bg
