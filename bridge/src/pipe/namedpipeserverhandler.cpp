#include <bridge/namedpipeserverhandler.h>
#include <bridge/winnamedpipe.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>

namespace bg {
namespace pi {

    namespace {
        constexpr unsigned kAcceptWaitMs = 1000;
        constexpr auto kWorkerWait = std::chrono::milliseconds(100);
        // Pause after a failed accept, so that a broken listening end does not spin.
        constexpr auto kAcceptBackOff = std::chrono::milliseconds(1000);

        void reportException(const char* what)
        {
            fprintf(stderr, "pipeSrv, exception=%s", what);
            fflush(stderr);
        }
    } // namespace

    INamedPipeServer::~INamedPipeServer() = default;

    void INamedPipeServer::SetHandler(PipeHandler, void*) { }

    NamedPipeServerHandler::NamedPipeServerHandler(const std::string& name, int workers)
        : m_name(name)
        , m_workers(workers > 0 ? workers : 0)
    {
    }

    NamedPipeServerHandler::~NamedPipeServerHandler()
    {
        Stop();
        for (INamedPipe* connection : m_pending)
            delete connection;
        m_pending.clear();
    }

    void NamedPipeServerHandler::SetHandler(PipeHandler handler, void* context)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_handler = handler;
        m_context = context;
    }

    void NamedPipeServerHandler::Start()
    {
        if (m_running)
            return;
        auto listening = std::make_unique<WinNamedPipe>(PipePathPrefix + m_name, true);
        listening->Open();
        m_listening = std::move(listening);
        m_running = true;
        for (int i = 0; i < m_workers; ++i)
            m_threads.emplace_back(&NamedPipeServerHandler::workLoop, this);
        m_threads.emplace_back(&NamedPipeServerHandler::acceptLoop, this);
    }

    void NamedPipeServerHandler::Stop()
    {
        if (!m_running.exchange(false))
            return;
        if (m_listening)
            m_listening->Interrupt();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_wake.notify_all();
            m_room.notify_all();
            // A handler reading from a client that stays silent would keep its worker forever.
            for (int socket : m_active) {
                if (socket >= 0)
                    shutdown(socket, SHUT_RDWR);
            }
        }
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
        m_listening.reset();
    }

    void NamedPipeServerHandler::acceptLoop()
    {
        while (m_running) {
            try {
                {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    m_room.wait(
                        lock, [this] { return !m_running || m_pending.size() < MaxPendingConnections; });
                    if (!m_running)
                        return;
                }
                INamedPipe* connection = m_listening->AsyncWaitForConnection(kAcceptWaitMs);
                if (!connection)
                    continue;
                std::lock_guard<std::mutex> guard(m_mutex);
                m_pending.push_back(connection);
                m_wake.notify_one();
            } catch (const std::exception& error) {
                reportException(error.what());
                backOff();
            } catch (...) {
                backOff();
            }
        }
    }

    void NamedPipeServerHandler::backOff()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, kAcceptBackOff, [this] { return !m_running; });
    }

    void NamedPipeServerHandler::workLoop()
    {
        while (m_running) {
            INamedPipe* connection = nullptr;
            std::list<int>::iterator watched;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait_for(lock, kWorkerWait, [this] { return !m_running || !m_pending.empty(); });
                if (!m_running)
                    return;
                if (m_pending.empty())
                    continue;
                connection = m_pending.front();
                m_pending.pop_front();
                m_room.notify_one();
                // A duplicate of the socket, so that Stop can shut it down whenever the handler deletes
                // the connection itself.
                auto* pipe = dynamic_cast<WinNamedPipe*>(connection);
                watched = m_active.insert(m_active.end(), pipe ? fcntl(pipe->m_handle, F_DUPFD_CLOEXEC, 0) : -1);
            }
            HandleConnection(connection);
            std::lock_guard<std::mutex> guard(m_mutex);
            if (*watched >= 0)
                ::close(*watched);
            m_active.erase(watched);
        }
    }

    void NamedPipeServerHandler::HandleConnection(INamedPipe* connection)
    {
        PipeHandler handler;
        void* context;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            handler = m_handler;
            context = m_context;
        }
        if (!handler) {
            delete connection;
            return;
        }
        try {
            handler(connection, context);
        } catch (const std::exception& error) {
            reportException(error.what());
        } catch (...) {
            reportException("unknown");
        }
    }

} // namespace pi
} // namespace bg
