#include <bridge/namedpipe.h>
#include <bridge/namedpipeserverhandler.h>
#include <bridge/winnamedpipe.h>

#include "binary/destroy_object.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace bg {
namespace pi {

    namespace {
        void reportError(const char* what)
        {
            fprintf(stderr, "[pipe] err: %s\n", what);
            fflush(stderr);
        }
    } // namespace

    INamedPipe* create_pipe_client(const char* name)
    {
        return new WinNamedPipe(PipePathPrefix + std::string(name ? name : ""), false);
    }

    void destroy_pipe_client(INamedPipe** pipe) { destroyObject(pipe); }

    INamedPipeServer* create_pipe_server(const char* name, int workers)
    {
        return new NamedPipeServerHandler(name ? name : "", workers);
    }

    void destroy_pipe_server(INamedPipeServer** server) { destroyObject(server); }

    INamedPipeServer* srv_listen_pipe(const char* name, int workers, PipeHandler handler, void* context)
    {
        INamedPipeServer* server = nullptr;
        try {
            server = create_pipe_server(name, workers);
            server->SetHandler(handler, context);
            server->Start();
            return server;
        } catch (const std::exception& error) {
            reportError(error.what());
            destroy_pipe_server(&server);
            return nullptr;
        }
    }

    bool client_pipe_send(const char* name, const std::string& text)
    {
        if (text.empty())
            return false;
        INamedPipe* pipe = nullptr;
        try {
            pipe = create_pipe_client(name);
            pipe->Open();
            pipe->WriteString(text);
            pipe->Close();
            destroy_pipe_client(&pipe);
            return true;
        } catch (const std::exception& error) {
            reportError(error.what());
            destroy_pipe_client(&pipe);
            return false;
        }
    }

    void setup_single_app(const char* name, const char* text)
    {
        if (client_pipe_send(name, text ? text : "")) {
            fprintf(stderr, "[app] already exist, exit.\n");
            fflush(stderr);
            exit(0);
        }
        fprintf(stderr, "now start the app\n");
        fflush(stderr);
    }

} // namespace pi
} // namespace bg
