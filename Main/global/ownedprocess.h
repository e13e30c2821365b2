#pragma once

#include <QtGlobal>

#include <vector>

// A process this program started, held by a process file descriptor taken right after the start, so it
// can be signalled later without the risk of hitting an unrelated process that reused its id. Move-only;
// destroying the handle leaves the process running. Any thread, one owner at a time.
class OwnedProcess {
public:
    OwnedProcess() = default;
    // Opens the handle of `pid`; invalid when that process is already gone or the system has no process
    // descriptors.
    explicit OwnedProcess(qint64 pid);
    OwnedProcess(OwnedProcess&& other) noexcept;
    OwnedProcess& operator=(OwnedProcess&& other) noexcept;
    OwnedProcess(const OwnedProcess&) = delete;
    OwnedProcess& operator=(const OwnedProcess&) = delete;
    ~OwnedProcess();

    bool isValid() const { return m_fd >= 0; }
    qint64 pid() const { return m_pid; }
    bool isRunning() const;
    // False when the process is gone or the handle invalid.
    bool signal(int signo) const;

    // Sends SIGTERM to each process now and SIGKILL to those still running `graceMs` later, from the
    // calling thread's event loop; returns at once. Needs a QCoreApplication; without one the SIGKILL
    // follows immediately.
    static void terminate(std::vector<OwnedProcess> processes, int graceMs = 2000);

private:
    void reset();

    int m_fd = -1;
    qint64 m_pid = 0;
};
