#include <bridge/abstractnamedpipe.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace bg {
namespace pi {

    INamedPipe::~INamedPipe() = default;

    AbstractNamedPipe::AbstractNamedPipe(bool server)
        : m_server(server)
    {
    }

    void AbstractNamedPipe::Open()
    {
        if (m_server)
            CreateServer();
        else
            OpenClient();
    }

    void AbstractNamedPipe::Read(void* buffer, int n)
    {
        if (m_server)
            throw std::runtime_error("This operation is not supported on server pipe");
        if (n < 1)
            throw std::out_of_range("Size is 0 or less");
        ReadRaw(buffer, n);
    }

    void AbstractNamedPipe::Write(const void* buffer, int n)
    {
        if (m_server)
            throw std::runtime_error("This operation is not supported on server pipe");
        if (n < 1)
            throw std::out_of_range("Size is 0 or less");
        WriteRaw(buffer, n);
    }

    std::string AbstractNamedPipe::ReadString()
    {
        // The length travels in the machine's byte order, little-endian on every supported processor.
        int32_t length = 0;
        Read(&length, sizeof length);
        if (length > MaxPipeMessage)
            throw std::runtime_error("message too long (" + std::to_string(length) + " bytes)");
        std::string text(length > 0 ? size_t(length) : 0, '\0');
        Read(text.empty() ? nullptr : &text[0], length);
        return text;
    }

    int AbstractNamedPipe::WriteString(const std::string& text)
    {
        if (text.empty())
            return 0;
        if (text.size() > size_t(MaxPipeMessage))
            throw std::runtime_error("message too long (" + std::to_string(text.size()) + " bytes)");
        const int32_t length = int32_t(text.size());
        Write(&length, sizeof length);
        Write(text.data(), length);
        return length;
    }

    void AbstractNamedPipe::Flush() { FlushRaw(); }

} // namespace pi
} // namespace bg
