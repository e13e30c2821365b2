#pragma once

#include <bridge/namedpipeserver.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace bg {
namespace pi {

    class WinNamedPipe;

    // The server of create_pipe_server: one acceptor thread and `workers` worker threads while running.
    // Each connection goes to exactly one worker; with 0 workers connections wait, and are deleted with
    // the server. At most MaxPendingConnections wait for a worker; the acceptor takes no more until there is
    // room (further clients wait in the system's backlog, nothing is lost). Start
    // listens before any thread starts, so a client may connect once it returns. Stop shuts down the
    // connections the handlers hold, so that a handler waiting for a silent client returns at once.
    class BG_API NamedPipeServerHandler : public NamedPipeServer {
    public:
        static constexpr size_t MaxPendingConnections = 64;

        NamedPipeServerHandler(const std::string& name, int workers);
        ~NamedPipeServerHandler() override;
        NamedPipeServerHandler(const NamedPipeServerHandler&) = delete;
        NamedPipeServerHandler& operator=(const NamedPipeServerHandler&) = delete;

        void SetHandler(PipeHandler handler, void* context) override;
        void Start() override;
        void Stop() override;
        void HandleConnection(INamedPipe* connection) override;

    private:
        void acceptLoop();
        void workLoop();
        void backOff();

        std::string m_name;
        int m_workers;
        std::unique_ptr<WinNamedPipe> m_listening;
        std::atomic<bool> m_running { false };
        std::deque<INamedPipe*> m_pending;
        // Duplicates of the sockets handed to handlers, for Stop to shut down.
        std::list<int> m_active;
        std::mutex m_mutex;
        std::condition_variable m_wake;
        std::condition_variable m_room;
        std::list<std::thread> m_threads;
        PipeHandler m_handler = nullptr;
        void* m_context = nullptr;
    };

} // namespace pi
} // namespace bg
