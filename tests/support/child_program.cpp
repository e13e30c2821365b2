#include "support/child_program.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace support {

using Clock = std::chrono::steady_clock;

ChildProgram::~ChildProgram() { stop(); }

bool ChildProgram::start(const std::string& program, const std::vector<std::string>& args,
    const std::string& prefix, std::string& value, std::string& error, int timeoutMs)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/child-output.XXXXXX";
    const int out = ::mkstemp(path.data());
    if (out < 0) {
        error = "cannot make an output file for " + program;
        return false;
    }
    ::unlink(path.c_str());
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out);
        error = "cannot start " + program;
        return false;
    }
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    m_pid = pid;
    m_out = out;

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string seen;
    while (Clock::now() < deadline) {
        char buffer[4096];
        const ssize_t n = ::pread(m_out, buffer, sizeof buffer, off_t(seen.size()));
        if (n > 0) {
            seen.append(buffer, size_t(n));
            std::istringstream lines(seen);
            std::string line;
            while (std::getline(lines, line)) {
                if (line.rfind(prefix, 0) == 0 && !lines.eof()) {
                    value = line.substr(prefix.size());
                    return true;
                }
            }
            continue;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            error = program + " ended before it was ready";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = program + " printed no \"" + prefix + "\" line in time";
    stop();
    return false;
}

int ChildProgram::stop(int graceMs)
{
    int code = -1;
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
        pid_t done = 0;
        while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (done == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        } else if (done == m_pid && WIFEXITED(status)) {
            code = WEXITSTATUS(status);
        }
        m_pid = -1;
    }
    if (m_out >= 0) {
        ::close(m_out);
        m_out = -1;
    }
    return code;
}

} // namespace support
