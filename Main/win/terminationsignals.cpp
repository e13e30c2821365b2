#include "win/terminationsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = { -1, -1 };
const int kSignals[] = { SIGTERM, SIGINT, SIGHUP };

void setBlocked(bool blocked)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals)
        sigaddset(&set, sig);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void onSignal(int)
{
    const char byte = 1;
    ssize_t written = ::write(g_pipe[0], &byte, 1);
    (void)written;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> handler, QObject* parent)
    : QObject(parent)
    , m_onSignal(std::move(handler))
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[1], bytes, sizeof bytes) > 0) { }
        if (m_onSignal)
            m_onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    setBlocked(false);
}

void TerminationSignals::holdBack()
{
    setBlocked(true);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    setBlocked(true);
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}
