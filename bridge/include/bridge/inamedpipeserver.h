#pragma once

#include <bridge/inamedpipe.h>

namespace bg {
namespace pi {

    // Receives each accepted connection, on a worker thread; it owns the connection and deletes it
    // (destroy_pipe_client). Must not throw.
    typedef void (*PipeHandler)(INamedPipe* connection, void* context);

    // A server that accepts connections on a pipe name and hands each to the handler on one of its
    // worker threads. Start throws std::runtime_error when the name cannot be listened on. Stop and
    // destruction join the threads, so neither may be called from a handler.
    class BG_API INamedPipeServer {
    public:
        virtual ~INamedPipeServer();

        virtual void SetHandler(PipeHandler handler, void* context);
        virtual void Start() = 0;
        virtual void Stop() = 0;
    };

} // namespace pi
} // namespace bg
