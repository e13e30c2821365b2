#pragma once

#include <bridge/bg_export.h>

#include <string>

namespace bg {
namespace pi {

    // One end of a local pipe: the listening (server) end or a connected end. Messages are a signed 32-bit
    // little-endian length followed by that many bytes. Failures throw std::runtime_error whose text names
    // the failed step, then ", GLE=" and the system error number (std::out_of_range for a size below 1).
    // One thread at a time per end.
    class BG_API INamedPipe {
    public:
        virtual ~INamedPipe();

        // Listening end: starts listening under the name; client end: connects to a listening end.
        virtual void Open() = 0;
        // Blocks until exactly n bytes are read.
        virtual void Read(void* buffer, int n) = 0;
        virtual std::string ReadString() = 0;
        // Blocks until exactly n bytes are written.
        virtual void Write(const void* buffer, int n) = 0;
        // Writes one framed message and gives its length; an empty text writes nothing and gives 0.
        virtual int WriteString(const std::string& text) = 0;
        virtual void Flush() = 0;
        virtual void Close() = 0;
    };

} // namespace pi
} // namespace bg
