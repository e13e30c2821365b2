#include <bridge/cconsolelogger.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

const char* const CConsoleLogger::PipePrefix = "/tmp/tvc-";
const char* const CConsoleLogger::DefaultHelper = "zovLoggerHelper";

namespace {

std::atomic<int> g_connectTimeoutMs { 5000 };
constexpr auto kConnectPoll = std::chrono::milliseconds(10);

unsigned long millisecondsSinceBoot()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long>(now.tv_sec) * 1000ul
        + static_cast<unsigned long>(now.tv_nsec / 1000000);
}

// The default helper next to the program, else its bare name for the PATH search.
std::string defaultHelperPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string folder(self, size_t(length));
        folder.erase(folder.rfind('/') + 1);
        const std::string candidate = folder + CConsoleLogger::DefaultHelper;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return CConsoleLogger::DefaultHelper;
}

pid_t spawn(const std::string& program, const char* shortName)
{
    const char* argv[] = { program.c_str(), shortName, nullptr };
    pid_t child = -1;
    const int error
        = posix_spawnp(&child, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ);
    return error == 0 ? child : -1;
}

// write() that neither raises SIGPIPE when the helper has gone nor leaves one pending for this thread.
ssize_t writeQuietly(int fd, const void* bytes, size_t n)
{
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);

    size_t done = 0;
    ssize_t result = 0;
    while (done < n) {
        result = write(fd, static_cast<const char*>(bytes) + done, n - done);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            break;
        done += size_t(result);
    }
    if (result < 0 && errno == EPIPE && !alreadyPending) {
        const timespec noWait {};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return done == n ? ssize_t(done) : -1;
}

} // namespace

CConsoleLogger::~CConsoleLogger()
{
    closePipe();
    reapHelper(false);
}

int CConsoleLogger::AddHeaders() { return 0; }

int CConsoleLogger::Write(const void* bytes, int n)
{
    if (m_handle < 0 || n < 0)
        return -1;
    int expected = 0;
    while (!m_writeLock.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
        expected = 0;
        std::this_thread::yield();
    }
    const ssize_t written = writeQuietly(m_handle, bytes, size_t(n));
    m_writeLock.store(0, std::memory_order_release);
    return written == n ? n : -1;
}

int CConsoleLogger::Print(const char* text, int length)
{
    if (m_handle < 0 || !text)
        return -1;
    return Write(text, length == -1 ? int(strlen(text)) : length);
}

void CConsoleLogger::setConnectTimeout(int milliseconds) { g_connectTimeoutMs = milliseconds; }

int CConsoleLogger::Create(
    const char* title, int buffer_width, int buffer_height, const char* name, const char* program_path)
{
    closePipe();
    reapHelper(false);
    if (!buildPath(name))
        return fail("invalid pipe name");
    const char* shortName = m_pipePath + strlen(PipePrefix);
    if (!makePipe(name))
        return fail("CreateNamedPipe failed");
    if (!startHelper(program_path)) {
        unlink(m_pipePath);
        return fail("Helper executable not found");
    }
    const bool connected = connectHelper();
    // Both ends are open (or given up): the name is no longer needed.
    unlink(m_pipePath);
    if (!connected)
        return fail("ConnectNamedPipe failed");

    const std::string titleLine = std::string("TITLE: ") + (title ? title : shortName) + "\r\n";
    if (!sendText(titleLine.data(), int(titleLine.size())))
        return fail("WriteFile failed(1)");
    if (buffer_width != -1 && buffer_height != -1) {
        char sizeLine[64];
        const int length
            = snprintf(sizeLine, sizeof sizeLine, "BUFFER-SIZE: %dx%d\r\n", buffer_width, buffer_height);
        if (!sendText(sizeLine, length))
            return fail("WriteFile failed(2)");
    }
    if (AddHeaders() != 0) {
        closePipe();
        return -1;
    }
    const char endMark = 0;
    if (!sendText(&endMark, 1))
        return fail("WriteFile failed(3)");
    return 0;
}

// Makes the FIFO at m_pipePath. A made-up name can meet another process's pipe: two runs of one program
// often put the console at the same address (heap layouts repeat) in the same millisecond, so a taken
// made-up name moves on to a later time. A given name stays as given.
bool CConsoleLogger::makePipe(const char* name)
{
    for (unsigned long later = 1; mkfifo(m_pipePath, 0600) != 0; ++later) {
        if (name || errno != EEXIST || later > 1000 || !buildPath(nullptr, later))
            return false;
    }
    return true;
}

// The FIFO path: the prefix and the name, or a name made of this object's address and the time since
// boot (plus `later` milliseconds). False when it does not fit the buffer.
bool CConsoleLogger::buildPath(const char* name, unsigned long later)
{
    char generated[64];
    if (!name) {
        snprintf(generated, sizeof generated, "logger%lld_%lu", static_cast<long long>(intptr_t(this)),
            millisecondsSinceBoot() + later);
        name = generated;
    }
    const int length = snprintf(m_pipePath, sizeof m_pipePath, "%s%s", PipePrefix, name);
    if (length < 0 || size_t(length) >= sizeof m_pipePath || !*name || strchr(name, '/')) {
        m_pipePath[0] = '\0';
        return false;
    }
    return true;
}

bool CConsoleLogger::startHelper(const char* program_path)
{
    const char* shortName = m_pipePath + strlen(PipePrefix);
    m_helper = spawn(program_path ? program_path : defaultHelperPath(), shortName);
    if (m_helper < 0) {
        if (const char* fallback = getenv("ConsoleLoggerHelper"))
            m_helper = spawn(fallback, shortName);
    }
    return m_helper >= 0;
}

// Waits until the helper opens the FIFO for reading, it ends, or the time-out passes (then it is ended).
bool CConsoleLogger::connectHelper()
{
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_connectTimeoutMs.load());
    for (;;) {
        const int fd = open(m_pipePath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            m_handle = fd;
            return true;
        }
        if (errno != ENXIO && errno != EINTR)
            break;
        if (waitpid(m_helper, nullptr, WNOHANG) == m_helper) {
            m_helper = -1;
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(kConnectPoll);
    }
    kill(m_helper, SIGTERM);
    reapHelper(true);
    return false;
}

bool CConsoleLogger::sendText(const char* text, int length)
{
    return m_handle >= 0 && writeQuietly(m_handle, text, size_t(length)) == length;
}

int CConsoleLogger::fail(const char* text)
{
    closePipe();
    fprintf(stderr, "ConsoleLogger failed: %s\n", text);
    fflush(stderr);
    return -1;
}

void CConsoleLogger::closePipe()
{
    if (m_handle >= 0) {
        close(m_handle);
        m_handle = -1;
    }
}

// The helper outlives its console; it is collected once it has ended, so that no zombie stays.
void CConsoleLogger::reapHelper(bool wait)
{
    if (m_helper > 0 && waitpid(m_helper, nullptr, wait ? 0 : WNOHANG) != 0)
        m_helper = -1;
}
