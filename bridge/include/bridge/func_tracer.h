#pragma once

#include <bridge/abstract_ftracer.h>
#include <bridge/mutex.h>

#include <atomic>
#include <functional>
#include <string>

namespace bg {

// The function tracer of one component, on the file <dir>/log/<name><date>.tcr (append mode, a header line
// at each opening). A file that cannot be opened sends the records to the standard error stream.
class BG_API Func_Tracer : public Abstract_FTracer {
public:
    Func_Tracer(const char* path, const char* name, Interface* owner = nullptr);
    ~Func_Tracer() override;

    void set_file(FILE* stream) override;
    void enable(bool on) override;
    const char* path() override;
    int64_t begin(const char* function, const char* file, int line, const char* extra) override;
    void end(int line, int64_t start) override;

    Func_Tracer(const Func_Tracer&) = delete;
    Func_Tracer& operator=(const Func_Tracer&) = delete;

private:
    void open_stream();
    void deliver(const char* record);
    std::string prefix() const;

    FILE* stream_ = nullptr;
    bool borrowed_ = false;
    std::string path_;
    std::string name_;
    int depth_ = 0;
    std::atomic<bool> enabled_ { true };
    Mutex lock_;
};

// Traces the enclosing scope: begin at construction, end at destruction. A null tracer does nothing.
class Func_Trace_Scope {
public:
    Func_Trace_Scope(Abstract_FTracer* tracer, const char* function, const char* file, int line)
        : tracer_(tracer)
        , line_(line)
        , start_(tracer ? tracer->begin(function, file, line, "") : 0)
    {
    }
    ~Func_Trace_Scope()
    {
        if (tracer_)
            tracer_->end(line_, start_);
    }
    Func_Trace_Scope(const Func_Trace_Scope&) = delete;
    Func_Trace_Scope& operator=(const Func_Trace_Scope&) = delete;

private:
    Abstract_FTracer* tracer_;
    int line_;
    int64_t start_;
};

namespace trace {

    // Receives every trace record of every tracer while installed: (component name, thread id, text).
    using Hook = std::function<void(const char* name, uint32_t thread_id, const char* text)>;

    // Installs the process-wide hook, replacing any earlier one; an empty hook removes it. Hook calls of all
    // tracers are serialised.
    BG_API void hook(Hook handler);

} // namespace trace
} // namespace bg
