#pragma once

#include <bridge/abstract_logger.h>
#include <bridge/mutex.h>

#include <atomic>
#include <functional>

namespace bg {

// The framework's logger: one dated file per component, opened in append mode on the first record, which
// is preceded by a header line with the opening time. The owner is kept but not consulted.
class BG_API Logger : public Abstract_Logger {
public:
    explicit Logger(const char* path, Interface* owner = nullptr);
    ~Logger() override;

    void set_file(FILE* stream) override;
    FILE* file() override;
    void set_level(int level) override;
    int level() override;
    void set_tag(const char* tag) override;
    const char* tag() override;
    void log(int level, const char* tag, const char* format, ...) override
        __attribute__((format(printf, 4, 5)));
    std::string path() override;
    std::string name() override;
    void close() override;

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

private:
    void open_stream();
    void close_own_file();

    std::string path_;
    FILE* stream_ = nullptr;
    bool borrowed_ = false;
    std::atomic<int> level_ { 6 };
    std::string tag_;
    Mutex lock_;
};

namespace log {

    // Receives every record of every logger while installed: (level, tag, formatted text).
    using Hook = std::function<void(int level, const char* tag, const char* text)>;

    // A logger on `path` with no owner; delete it with destroy.
    BG_API Abstract_Logger* create(const char* path);
    // Deletes *logger and sets it to null.
    BG_API void destroy(Abstract_Logger** logger);
    // Installs the process-wide hook, replacing any earlier one; an empty hook removes it. Records then go to
    // the hook only (no level or tag filtering, no file). The hook runs on the logging thread.
    BG_API void hook(Hook handler);

} // namespace log
} // namespace bg
