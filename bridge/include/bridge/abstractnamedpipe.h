#pragma once

#include <bridge/inamedpipe.h>

namespace bg {
namespace pi {

    // Longest message ReadString accepts or WriteString sends; a longer length is a bad frame.
    constexpr int MaxPipeMessage = 16 * 1024 * 1024;

    // The framing and argument checks of a pipe end over the raw operations of a platform end.
    class BG_API AbstractNamedPipe : public INamedPipe {
    public:
        void Open() override;
        void Read(void* buffer, int n) override;
        std::string ReadString() override;
        void Write(const void* buffer, int n) override;
        int WriteString(const std::string& text) override;
        void Flush() override;

        virtual void OpenClient() = 0;
        virtual void CreateServer() = 0;
        virtual int ReadRaw(void* buffer, int n) = 0;
        virtual int WriteRaw(const void* buffer, int n) = 0;
        virtual void FlushRaw() = 0;
        // A new connected end owned by the caller, or null when no client came within timeout_ms.
        virtual INamedPipe* AsyncWaitForConnection(unsigned timeout_ms) = 0;
        virtual INamedPipe* WaitForConnection() = 0;

    protected:
        explicit AbstractNamedPipe(bool server);

        const bool m_server;
    };

} // namespace pi
} // namespace bg
