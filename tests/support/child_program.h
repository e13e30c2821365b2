#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace support {

// A helper program started by a test or a benchmark. Its standard output goes to an unlinked file (so it
// never blocks on a full pipe) and is read up to the line that starts with `prefix`, whose remainder `start`
// returns. The program is terminated (SIGTERM, then SIGKILL) when this object goes.
class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool start(const std::string& program, const std::vector<std::string>& args, const std::string& prefix,
        std::string& value, std::string& error, int timeoutMs = 30000);
    pid_t pid() const { return m_pid; }
    // SIGTERM, then SIGKILL after `graceMs`; returns the exit code (-1 when killed or never started).
    int stop(int graceMs = 10000);

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

} // namespace support
