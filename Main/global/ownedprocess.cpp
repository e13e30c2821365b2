#include "global/ownedprocess.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int openPidFd(qint64 pid)
{
    if (pid <= 0)
        return -1;
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

} // namespace

OwnedProcess::OwnedProcess(qint64 pid)
    : m_fd(openPidFd(pid))
    , m_pid(m_fd >= 0 ? pid : 0)
{
}

OwnedProcess::OwnedProcess(OwnedProcess&& other) noexcept
    : m_fd(other.m_fd)
    , m_pid(other.m_pid)
{
    other.m_fd = -1;
    other.m_pid = 0;
}

OwnedProcess& OwnedProcess::operator=(OwnedProcess&& other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = other.m_fd;
        m_pid = other.m_pid;
        other.m_fd = -1;
        other.m_pid = 0;
    }
    return *this;
}

OwnedProcess::~OwnedProcess() { reset(); }

void OwnedProcess::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pid = 0;
}

bool OwnedProcess::isRunning() const
{
    if (m_fd < 0)
        return false;
    // The descriptor turns readable when the process ends, whether or not anyone has reaped it yet.
    pollfd entry { m_fd, POLLIN, 0 };
    return ::poll(&entry, 1, 0) == 0;
}

bool OwnedProcess::signal(int signo) const
{
    if (m_fd < 0)
        return false;
    return ::syscall(SYS_pidfd_send_signal, m_fd, signo, nullptr, 0) == 0;
}

void OwnedProcess::terminate(std::vector<OwnedProcess> processes, int graceMs)
{
    auto pending = std::make_shared<std::vector<OwnedProcess>>();
    for (OwnedProcess& process : processes) {
        if (process.signal(SIGTERM))
            pending->push_back(std::move(process));
    }
    if (pending->empty())
        return;
    auto killRest = [pending] {
        for (const OwnedProcess& process : *pending) {
            if (process.isRunning())
                process.signal(SIGKILL);
        }
        pending->clear();
    };
    if (QCoreApplication::instance())
        QTimer::singleShot(graceMs, QCoreApplication::instance(), killRest);
    else
        killRest();
}
