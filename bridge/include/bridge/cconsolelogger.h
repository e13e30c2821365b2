#pragma once

#include <bridge/bg_export.h>

#include <atomic>
#include <sys/types.h>

// An extra console window for a process without one: Create makes a FIFO, starts a helper program with
// the FIFO's short name as its argument, waits (a bounded time) for it to open the FIFO and sends a
// header ("TITLE: ...\r\n", optionally "BUFFER-SIZE: WxH\r\n", then a 0 byte); Print then streams text
// to it. Failures of Create are one line on stderr and a result of -1. Any thread may Print; each Print
// arrives whole.
class BG_API CConsoleLogger {
public:
    // The FIFO's path is this prefix and the short name; the helper finds it the same way.
    static const char* const PipePrefix;
    // The helper started when Create is given no program: looked up next to the program, then on PATH.
    static const char* const DefaultHelper;

    CConsoleLogger() = default;
    // Closes the pipe; the helper keeps running and sees the end of its input.
    virtual ~CConsoleLogger();
    CConsoleLogger(const CConsoleLogger&) = delete;
    CConsoleLogger& operator=(const CConsoleLogger&) = delete;

    // Further header lines, sent before the end mark; non-zero aborts Create.
    virtual int AddHeaders();
    // n, or -1 when the write fails or is short.
    virtual int Write(const void* bytes, int n);

    // 0 when the console is ready, else -1. name may be null (a unique name is made); names longer than
    // the path buffer allows (or holding a slash) are refused.
    int Create(
        const char* title, int buffer_width, int buffer_height, const char* name, const char* program_path);
    // Write(text, length, or strlen(text) when length is -1); -1 when no console is open.
    int Print(const char* text, int length = -1);

    // How long Create waits for the helper to open the pipe (default 5000 ms).
    static void setConnectTimeout(int milliseconds);

private:
    bool buildPath(const char* name, unsigned long later = 0);
    bool makePipe(const char* name);
    bool startHelper(const char* program_path);
    bool connectHelper();
    bool sendText(const char* text, int length);
    int fail(const char* text);
    void closePipe();
    void reapHelper(bool wait);

    char m_pipePath[64] = {};
    int m_handle = -1;
    std::atomic<int> m_writeLock { 0 };
    pid_t m_helper = -1;
};
