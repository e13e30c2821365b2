#pragma once

#include <bridge/inamedpipeserver.h>

namespace bg {
namespace pi {

    class BG_API NamedPipeServer : public INamedPipeServer {
    public:
        // Takes ownership of connection.
        virtual void HandleConnection(INamedPipe* connection) = 0;
    };

} // namespace pi
} // namespace bg
