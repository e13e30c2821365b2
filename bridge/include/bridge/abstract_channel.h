#pragma once

#include <bridge/abstract_base.h>

#include <cstdint>
#include <memory>
#include <string>

namespace bg {

// Fixed 32-byte records over a blocking queue, plus a directory of further channels by name, created on
// first request and shared by pointer. Every operation may be called from any thread. Refusals are false
// results: a stopped channel neither takes nor gives records.
class BG_API Abstract_Channel : public Abstract_Base {
public:
    // What a channel carries; its contents are the caller's business.
    struct Record {
        unsigned char bytes[32];
    };

    // The channel of that name, created (with this channel's owner) if missing. A named channel lives until
    // its last holder lets go; stopping or destroying this channel stops it.
    virtual std::shared_ptr<Abstract_Channel> get_channel(const char* name) = 0;
    virtual std::shared_ptr<Abstract_Channel> get_channel(const std::string& name) = 0;
    virtual bool send_record(const Record* record) = 0;
    // True with `out` filled; false (and `out` untouched) when stopped.
    virtual bool recv_record(Record* out) = 0;
    // As recv_record, waiting at most `ms` milliseconds; false on time-out too.
    virtual bool recv_record_wait(Record* out, int32_t ms) = 0;
    virtual void stop() = 0;
    virtual bool is_stopped() const = 0;
};

static_assert(sizeof(Abstract_Channel::Record) == 32, "a channel record is exactly 32 bytes");

} // namespace bg
