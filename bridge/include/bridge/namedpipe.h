#pragma once

#include <bridge/inamedpipeserver.h>

#include <string>

namespace bg {
namespace pi {

    // A client end for name, not yet connected (call Open); free it with destroy_pipe_client.
    BG_API INamedPipe* create_pipe_client(const char* name);
    BG_API void destroy_pipe_client(INamedPipe** pipe);
    // A stopped server without a handler; free it with destroy_pipe_server.
    BG_API INamedPipeServer* create_pipe_server(const char* name, int workers);
    BG_API void destroy_pipe_server(INamedPipeServer** server);

    // Creates, sets up and starts a server; null (with "[pipe] err: ..." on stderr) when that fails.
    BG_API INamedPipeServer* srv_listen_pipe(
        const char* name, int workers, PipeHandler handler, void* context);
    // Sends one message to the server listening on name; false (with "[pipe] err: ..." on stderr) when
    // none listens or the send fails, and at once for an empty text.
    BG_API bool client_pipe_send(const char* name, const std::string& text);
    // Hands text to an instance already listening on name and then ends this process with code 0;
    // returns when there is none.
    BG_API void setup_single_app(const char* name, const char* text);

} // namespace pi
} // namespace bg
