#pragma once

#include <bridge/bg_export.h>

#include <cstdint>

namespace bg {

namespace binary {
    // Byte order of the values read and written. Every value other than Little means big-endian.
    enum Endian : int {
        Big = 0,
        Little = 1,
    };
} // namespace binary

// Reads and writes unsigned integers at a moving position in a caller's byte buffer.
// The buffer is not owned. One thread at a time.
// A read or write that needs more bytes than remain is refused: the buffer and the position are left as
// they are and a read gives 0. Callers check remaining() or is_end() to tell a refused read from a 0.
class BG_API Abstract_Binary {
public:
    virtual ~Abstract_Binary();

    virtual void reset(void* buffer, int length, binary::Endian endian) = 0;
    virtual uint8_t* data() = 0;
    // Moves the position by count; past the end it stops at the end and gives null, before the start it
    // stops at the start and gives null.
    virtual uint8_t* skip(int count) = 0;
    virtual bool is_end() const = 0;
    virtual int position() const = 0;
    virtual int remaining() const = 0;
    virtual void rewind() = 0;
    virtual uint8_t read_u8() = 0;
    virtual uint16_t read_u16() = 0;
    virtual uint32_t read_u32() = 0;
    virtual uint64_t read_u64() = 0;
    virtual void write_u8(uint8_t value) = 0;
    virtual void write_u16(uint16_t value) = 0;
    virtual void write_u32(uint32_t value) = 0;
    virtual void write_u64(uint64_t value) = 0;
};

namespace binary {
    // A new reader/writer over buffer at position 0; the caller frees it with destroy.
    BG_API Abstract_Binary* create(void* buffer, int length, Endian endian);
    // Deletes *object and sets it to null; nothing when either pointer is null.
    BG_API void destroy(Abstract_Binary** object);
    BG_API Endian cpuEndian();
} // namespace binary

} // namespace bg
