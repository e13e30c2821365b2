#pragma once

#include <bridge/abstractnamedpipe.h>

#include <string>

namespace bg {
namespace pi {

    // Text that every pipe name is appended to.
    BG_API extern const char* const PipePathPrefix;

    // A pipe end over a Unix-domain stream socket in the abstract namespace (the pipe path is the
    // socket's abstract name, so nothing is left in the file system). Such names are visible to every
    // account, so both ends talk only to peers of their own account: a client refuses another account's
    // listener ("Could not open pipe", EACCES) and a listening end drops other accounts' connections.
    // An end that owns its socket closes it in Close and on destruction.
    class BG_API WinNamedPipe : public AbstractNamedPipe {
    public:
        WinNamedPipe(const std::string& path, bool server);
        ~WinNamedPipe() override;
        WinNamedPipe(const WinNamedPipe&) = delete;
        WinNamedPipe& operator=(const WinNamedPipe&) = delete;

        void Close() override;
        void OpenClient() override;
        void CreateServer() override;
        int ReadRaw(void* buffer, int n) override;
        int WriteRaw(const void* buffer, int n) override;
        void FlushRaw() override;
        INamedPipe* AsyncWaitForConnection(unsigned timeout_ms) override;
        INamedPipe* WaitForConnection() override;

        // Wakes a thread waiting in AsyncWaitForConnection on this listening end, which then gives null;
        // the only call another thread may make on an end in use.
        void Interrupt();

    private:
        friend class NamedPipeServerHandler;
        WinNamedPipe(int handle, bool owns);
        INamedPipe* acceptOne();

        std::string m_path;
        int m_handle = -1;
        bool m_ownsHandle = false;
    };

} // namespace pi
} // namespace bg
