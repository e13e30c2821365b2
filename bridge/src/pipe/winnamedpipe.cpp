#include <bridge/winnamedpipe.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bg {
namespace pi {

    const char* const PipePathPrefix = "\\\\.\\pipe\\";

    namespace {

        // The text of a failed step: the step, ", GLE=" and the system error number.
        [[noreturn]] void fail(const char* step, int error = errno)
        {
            throw std::runtime_error(std::string(step) + ", GLE=" + std::to_string(error));
        }

        // The abstract-namespace address of path: a leading zero byte, then the path's bytes.
        socklen_t abstractAddress(const std::string& path, sockaddr_un* address, const char* step)
        {
            memset(address, 0, sizeof *address);
            address->sun_family = AF_UNIX;
            if (path.empty() || path.size() + 1 > sizeof address->sun_path)
                fail(step, ENAMETOOLONG);
            memcpy(address->sun_path + 1, path.data(), path.size());
            return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        }

        // A peer that went away reads as end of file or a reset; the system's pipes call that 109.
        bool peerGone(int error) { return error == EPIPE || error == ECONNRESET; }

        // Abstract socket names are visible to every account on the machine; only peers of this account
        // are talked to, in both directions.
        bool sameAccount(int handle)
        {
            ucred peer {};
            socklen_t length = sizeof peer;
            return getsockopt(handle, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
        }

    } // namespace

    WinNamedPipe::WinNamedPipe(const std::string& path, bool server)
        : AbstractNamedPipe(server)
        , m_path(path)
    {
    }

    WinNamedPipe::WinNamedPipe(int handle, bool owns)
        : AbstractNamedPipe(false)
        , m_handle(handle)
        , m_ownsHandle(owns)
    {
    }

    WinNamedPipe::~WinNamedPipe() { Close(); }

    void WinNamedPipe::Close()
    {
        if ((m_ownsHandle || m_server) && m_handle >= 0) {
            ::close(m_handle);
            m_handle = -1;
        }
    }

    void WinNamedPipe::OpenClient()
    {
        Close();
        sockaddr_un address;
        const socklen_t length = abstractAddress(m_path, &address, "Could not open pipe");
        const int handle = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (handle < 0)
            fail("Could not open pipe");
        // A blocking connect waits while the listener's backlog is full, as waiting for a free pipe
        // instance does; with no listener at all it fails at once.
        int result;
        do
            result = connect(handle, reinterpret_cast<sockaddr*>(&address), length);
        while (result != 0 && errno == EINTR);
        if (result != 0) {
            const int error = errno;
            ::close(handle);
            fail("Could not open pipe", error);
        }
        if (!sameAccount(handle)) {
            ::close(handle);
            fail("Could not open pipe", EACCES);
        }
        m_handle = handle;
        m_ownsHandle = true;
    }

    void WinNamedPipe::CreateServer()
    {
        Close();
        sockaddr_un address;
        const socklen_t length = abstractAddress(m_path, &address, "CreateNamedPipe failed");
        const int handle = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (handle < 0)
            fail("CreateNamedPipe failed");
        if (bind(handle, reinterpret_cast<sockaddr*>(&address), length) != 0
            || listen(handle, SOMAXCONN) != 0) {
            const int error = errno;
            ::close(handle);
            fail("CreateNamedPipe failed", error);
        }
        m_handle = handle;
    }

    int WinNamedPipe::ReadRaw(void* buffer, int n)
    {
        auto* bytes = static_cast<char*>(buffer);
        int done = 0;
        while (done < n) {
            const ssize_t got = recv(m_handle, bytes + done, size_t(n - done), 0);
            if (got > 0) {
                done += int(got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0 || peerGone(errno))
                fail("pipe disconnected", got == 0 ? EPIPE : errno);
            fail("read failed");
        }
        return n;
    }

    int WinNamedPipe::WriteRaw(const void* buffer, int n)
    {
        const auto* bytes = static_cast<const char*>(buffer);
        int done = 0;
        while (done < n) {
            const ssize_t sent = send(m_handle, bytes + done, size_t(n - done), MSG_NOSIGNAL);
            if (sent > 0) {
                done += int(sent);
                continue;
            }
            if (sent < 0 && errno == EINTR)
                continue;
            fail("WriteFile failed");
        }
        return n;
    }

    // A socket keeps no data on this side: what was sent is with the peer already.
    void WinNamedPipe::FlushRaw() { }

    INamedPipe* WinNamedPipe::AsyncWaitForConnection(unsigned timeout_ms)
    {
        if (!m_server)
            throw std::runtime_error("WaitForConnection is not supported on client pipe\n");
        if (m_handle < 0)
            fail("AsyncWaitForConnection failed", EBADF);
        pollfd entry { m_handle, POLLIN, 0 };
        const int ready = poll(&entry, 1, timeout_ms > INT32_MAX ? -1 : int(timeout_ms));
        if (ready < 0 && errno != EINTR)
            fail("AsyncWaitForConnection failed");
        // Nothing came, or Interrupt shut the end down.
        if (ready <= 0 || (entry.revents & (POLLHUP | POLLERR)) || !(entry.revents & POLLIN))
            return nullptr;
        return acceptOne();
    }

    INamedPipe* WinNamedPipe::WaitForConnection()
    {
        if (!m_server)
            throw std::runtime_error("WaitForConnection is not supported on client pipe\n");
        if (m_handle < 0)
            fail("WaitForConnection failed", EBADF);
        INamedPipe* connection = nullptr;
        while (!connection)
            connection = acceptOne();
        return connection;
    }

    INamedPipe* WinNamedPipe::acceptOne()
    {
        const int handle = accept4(m_handle, nullptr, nullptr, SOCK_CLOEXEC);
        if (handle >= 0 && !sameAccount(handle)) {
            ::close(handle);
            return nullptr;
        }
        if (handle >= 0)
            return new WinNamedPipe(handle, true);
        // The client gave up between the wake-up and the accept.
        if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
            return nullptr;
        fail("AsyncWaitForConnection failed");
    }

    void WinNamedPipe::Interrupt()
    {
        if (m_server && m_handle >= 0)
            shutdown(m_handle, SHUT_RDWR);
    }

} // namespace pi
} // namespace bg
