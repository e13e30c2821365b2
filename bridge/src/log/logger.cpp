#include <bridge/bg_log.h>
#include <bridge/logger.h>

#include "log/file_texts.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <ctime>
#include <memory>
#include <mutex>

namespace bg {

namespace {

    constexpr int kRecordSize = 4096;
    // vsnprintf writes at most size - 1 characters: records are cut to 4094 characters.
    constexpr int kRecordLimit = kRecordSize - 1;

    std::shared_ptr<log::Hook>& hook_slot()
    {
        static std::shared_ptr<log::Hook> slot;
        return slot;
    }

    // Checked before the hook itself, so that records without a hook never touch the shared pointer's lock.
    std::atomic<bool> hook_installed { false };

    std::shared_ptr<log::Hook> current_hook()
    {
        return hook_installed.load(std::memory_order_acquire) ? std::atomic_load(&hook_slot()) : nullptr;
    }

} // namespace

Abstract_Logger::~Abstract_Logger() = default;

Logger::Logger(const char* path, Interface* owner)
    : path_(path ? path : "")
{
    this->owner = owner;
}

Logger::~Logger()
{
    std::lock_guard<Mutex> guard(lock_);
    if (stream_) {
        fputs("\n", stream_);
        fflush(stream_);
    }
    close_own_file();
}

void Logger::set_file(FILE* stream)
{
    std::lock_guard<Mutex> guard(lock_);
    close_own_file();
    stream_ = stream;
    borrowed_ = stream != nullptr;
}

FILE* Logger::file()
{
    std::lock_guard<Mutex> guard(lock_);
    return stream_;
}

void Logger::set_level(int level)
{
    level_ = level;
    if (level == 0)
        close();
}

int Logger::level() { return level_; }

void Logger::set_tag(const char* tag)
{
    std::lock_guard<Mutex> guard(lock_);
    tag_ = tag ? tag : "";
}

const char* Logger::tag()
{
    std::lock_guard<Mutex> guard(lock_);
    return tag_.c_str();
}

void Logger::log(int level, const char* tag, const char* format, ...)
{
    if (!format)
        return;
    if (std::shared_ptr<log::Hook> hook = current_hook()) {
        // Formatted into this call's own buffer: records of concurrent threads never mix.
        char record[kRecordSize];
        va_list args;
        va_start(args, format);
        vsnprintf(record, kRecordLimit, format, args);
        va_end(args);
        (*hook)(level, tag, record);
        return;
    }
    if (level > level_)
        return;

    // Formatted before the lock is taken: other threads wait only for the write.
    char record[kRecordSize];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(record, kRecordLimit, format, args);
    va_end(args);

    std::lock_guard<Mutex> guard(lock_);
    if (!tag_.empty() && tag && *tag && tag_ != tag)
        return;
    if (!stream_)
        open_stream();
    if (length > 0)
        fwrite(record, 1, std::min(length, kRecordLimit - 1), stream_);
    fflush(stream_);
}

std::string Logger::path() { return path_; }

std::string Logger::name() { return file_texts::stem(path_); }

void Logger::close()
{
    level_ = 0;
    std::lock_guard<Mutex> guard(lock_);
    close_own_file();
}

void Logger::open_stream()
{
    stream_ = file_texts::open_file(path_, "a+");
    borrowed_ = stream_ == nullptr;
    if (!stream_)
        stream_ = stderr;
    fprintf(
        stream_, "%s %s\n", "-------------------------", file_texts::local_time("%Y-%m-%d %H:%M:%S").c_str());
}

void Logger::close_own_file()
{
    if (stream_ && !borrowed_)
        fclose(stream_);
    if (!borrowed_)
        stream_ = nullptr;
}

namespace log {

    Abstract_Logger* create(const char* path) { return new Logger(path); }

    void destroy(Abstract_Logger** logger)
    {
        if (!logger)
            return;
        delete *logger;
        *logger = nullptr;
    }

    void hook(Hook handler)
    {
        std::shared_ptr<Hook> next = handler ? std::make_shared<Hook>(std::move(handler)) : nullptr;
        hook_installed.store(next != nullptr, std::memory_order_release);
        std::atomic_store(&hook_slot(), std::move(next));
    }

} // namespace log
} // namespace bg

namespace bg::log {

const char* time_text()
{
    thread_local char text[32];
    time_t now = time(nullptr);
    struct tm parts { };
    localtime_r(&now, &parts);
    strftime(text, sizeof text, "%m%d-%H:%M:%S", &parts);
    return text;
}

} // namespace bg::log
