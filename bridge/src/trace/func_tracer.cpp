#include <bridge/func_tracer.h>

#include "log/file_texts.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <time.h>
#include <unistd.h>

namespace bg {

namespace {

    constexpr int kRecordSize = 511;
    constexpr int kIndentLimit = 160;
    constexpr char kHeaderRule[] = "===+===+===+===+===+===+===";

    // The statics here are never destroyed: sections traced by the exit list (modules' uninit) run after
    // function-local statics made later than its registration are gone.
    std::shared_ptr<trace::Hook>& hook_slot()
    {
        static auto* slot = new std::shared_ptr<trace::Hook>;
        return *slot;
    }

    // Checked before the hook itself, so that records without a hook never touch the shared pointer's lock.
    std::atomic<bool> hook_installed { false };

    std::shared_ptr<trace::Hook> current_hook()
    {
        return hook_installed.load(std::memory_order_acquire) ? std::atomic_load(&hook_slot()) : nullptr;
    }

    // Serialises the hook calls of every tracer.
    Mutex& trace_lock()
    {
        static auto* lock = new Mutex;
        return *lock;
    }

    const std::string& indent_pattern()
    {
        static const std::string* pattern = [] {
            auto* p = new std::string;
            for (int i = 0; i < 40; ++i)
                *p += "|   ";
            return p;
        }();
        return *pattern;
    }

    int64_t now_ns()
    {
        struct timespec ts { };
        clock_gettime(CLOCK_REALTIME, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    // Prefix and record text, cut to the record buffer but always ending in a line end.
    std::string fit(std::string line)
    {
        if (line.size() > size_t(kRecordSize - 1)) {
            line.resize(kRecordSize - 2);
            line += '\n';
        }
        return line;
    }

} // namespace

Abstract_FTracer::~Abstract_FTracer() = default;

Func_Tracer::Func_Tracer(const char* path, const char* name, Interface* owner)
    : path_(path ? path : "")
    , name_(name ? name : "")
{
    this->owner = owner;
}

Func_Tracer::~Func_Tracer()
{
    std::lock_guard<Mutex> guard(lock_);
    if (stream_) {
        fputs("\n", stream_);
        fflush(stream_);
        if (!borrowed_)
            fclose(stream_);
    }
}

void Func_Tracer::set_file(FILE* stream)
{
    std::lock_guard<Mutex> guard(lock_);
    if (stream_ && !borrowed_)
        fclose(stream_);
    stream_ = stream;
    borrowed_ = stream != nullptr;
}

void Func_Tracer::enable(bool on) { enabled_ = on; }

const char* Func_Tracer::path() { return path_.c_str(); }

int64_t Func_Tracer::begin(const char* /*function*/, const char* file, int line, const char* extra)
{
    bool hooked = current_hook() != nullptr;
    if (!hooked && !enabled_)
        return 0;
    std::lock_guard<Mutex> guard(lock_);
    if (!hooked && !stream_)
        open_stream();
    ++depth_;
    char record[kRecordSize];
    snprintf(record, sizeof record, "|__[%d]%s %s\n", line, file ? file : "", extra ? extra : "");
    deliver(fit(prefix() + record).c_str());
    return now_ns();
}

void Func_Tracer::end(int line, int64_t start)
{
    bool hooked = current_hook() != nullptr;
    if (!hooked && !enabled_)
        return;
    double elapsed_us = start > 0 ? std::max<int64_t>(now_ns() - start, 0) / 1000.0 : 0.0;
    std::lock_guard<Mutex> guard(lock_);
    if (!hooked && !stream_)
        return;
    char record[kRecordSize];
    snprintf(record, sizeof record, "|__[%d]@ (%.3lfus)\n", line, elapsed_us);
    deliver(fit(prefix() + record).c_str());
    // An unmatched end never drives the depth negative.
    depth_ = std::max(depth_ - 1, 0);
}

void Func_Tracer::open_stream()
{
    stream_ = file_texts::open_file(path_, "a+");
    borrowed_ = stream_ == nullptr;
    if (!stream_)
        stream_ = stderr;
    fprintf(stream_, "%s %s\n", kHeaderRule, file_texts::local_time("%Y-%m-%d %H:%M:%S").c_str());
    fflush(stream_);
}

void Func_Tracer::deliver(const char* record)
{
    if (std::shared_ptr<trace::Hook> hook = current_hook()) {
        std::lock_guard<Mutex> guard(trace_lock());
        (*hook)(name_.c_str(), uint32_t(gettid()), record);
        return;
    }
    if (!stream_)
        return;
    fputs(record, stream_);
    fflush(stream_);
}

std::string Func_Tracer::prefix() const
{
    char thread[16];
    snprintf(thread, sizeof thread, "%6d", int(gettid()));
    int width = std::max(depth_, 0) * 4;
    std::string text = thread;
    if (width > kIndentLimit)
        text += indent_pattern() + "..";
    else
        text += indent_pattern().substr(0, size_t(width));
    return text;
}

namespace trace {

    void hook(Hook handler)
    {
        std::shared_ptr<Hook> next = handler ? std::make_shared<Hook>(std::move(handler)) : nullptr;
        hook_installed.store(next != nullptr, std::memory_order_release);
        std::atomic_store(&hook_slot(), std::move(next));
    }

} // namespace trace
} // namespace bg
