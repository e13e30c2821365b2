// Pipe messages: any byte stream is split into messages, or refused with an exception (which closes that
// connection), without fault; messages the writer framed read back whole and in order.
#include "fuzz_check.h"

#include <bridge/abstractnamedpipe.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A client end over bytes in memory: reads take from `incoming`, writes append to `outgoing`.
class MemoryPipe : public bg::pi::AbstractNamedPipe {
public:
    explicit MemoryPipe(std::string incoming)
        : AbstractNamedPipe(false)
        , m_incoming(std::move(incoming))
    {
    }
    void OpenClient() override { }
    void CreateServer() override { }
    int ReadRaw(void* buffer, int n) override
    {
        if (m_incoming.size() - m_at < size_t(n))
            throw std::runtime_error("end of stream");
        std::memcpy(buffer, m_incoming.data() + m_at, size_t(n));
        m_at += size_t(n);
        return n;
    }
    int WriteRaw(const void* buffer, int n) override
    {
        outgoing.append(static_cast<const char*>(buffer), size_t(n));
        return n;
    }
    void FlushRaw() override { }
    bg::pi::INamedPipe* AsyncWaitForConnection(unsigned) override { return nullptr; }
    bg::pi::INamedPipe* WaitForConnection() override { return nullptr; }
    void Close() override { }

    std::string outgoing;

private:
    std::string m_incoming;
    size_t m_at = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    MemoryPipe reader(bytes);
    try {
        for (;;)
            reader.ReadString();
    } catch (const std::exception&) {
        // the end of the stream, or a bad frame
    }

    // The input cut at every zero byte gives the messages a writer frames.
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = std::min(bytes.find('\0', start), bytes.size());
        if (end > start)
            messages.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    MemoryPipe writer("");
    for (const std::string& message : messages)
        writer.WriteString(message);
    MemoryPipe again(writer.outgoing);
    for (const std::string& message : messages)
        FUZZ_CHECK(again.ReadString() == message);
    return 0;
}
