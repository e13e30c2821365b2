#include <framekit/framekit.h>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

const char* levelName(int level)
{
    if (level <= FK_LOG_ERROR)
        return "error";
    if (level <= FK_LOG_WARNING)
        return "warning";
    if (level <= FK_LOG_INFO)
        return "info";
    return "debug";
}

// The whole line goes out in one write, so that lines of concurrent threads never interleave.
void defaultHandler(int level, const char* format, va_list args, void*)
{
    char line[4096];
    int used = std::snprintf(line, sizeof line, "%s: ", levelName(level));
    if (used < 0)
        return;
    const int text = std::vsnprintf(line + used, sizeof line - used, format, args);
    if (text > 0)
        used += text;
    if (used > int(sizeof line) - 2)
        used = int(sizeof line) - 2;
    line[used++] = '\n';
    ssize_t written = ::write(STDERR_FILENO, line, size_t(used));
    (void)written;
}

struct Sink {
    std::mutex mutex;
    fk_log_handler_t handler = defaultHandler;
    void* param = nullptr;
};

Sink& sink()
{
    static Sink instance;
    return instance;
}

} // namespace

void fk_log_set_handler(fk_log_handler_t handler, void* param)
{
    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.handler = handler ? handler : defaultHandler;
    s.param = handler ? param : nullptr;
}

void fk_logva(int level, const char* format, va_list args)
{
    if (!format)
        return;
    fk_log_handler_t handler;
    void* param;
    {
        Sink& s = sink();
        std::lock_guard<std::mutex> lock(s.mutex);
        handler = s.handler;
        param = s.param;
    }
    handler(level, format, args, param);
}

void fk_log(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    fk_logva(level, format, args);
    va_end(args);
}
