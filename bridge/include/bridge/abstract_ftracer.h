#pragma once

#include <bridge/abstract_base.h>

#include <cstdint>
#include <cstdio>

namespace bg {

// Entry and exit records of traced code sections, as an indented tree with microsecond timings.
// Any thread may call any operation; each record is built and written under the tracer's lock.
class BG_API Abstract_FTracer : public Abstract_Base {
public:
    ~Abstract_FTracer() override;

    // Writes to `stream` from now on (borrowed: never closed by the tracer); an own file is closed first.
    virtual void set_file(FILE* stream) = 0;
    virtual void enable(bool on) = 0;
    virtual const char* path() = 0;
    // Writes the entry record; returns the start time in nanoseconds, 0 when tracing is off.
    virtual int64_t begin(const char* function, const char* file, int line, const char* extra) = 0;
    // Writes the exit record with the time since `start`.
    virtual void end(int line, int64_t start) = 0;
};

} // namespace bg
