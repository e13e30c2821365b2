#include <bridge/binary.h>

#include "binary/destroy_object.h"

namespace bg {

Abstract_Binary::~Abstract_Binary() = default;

Binary::Binary(void* buffer, int length, binary::Endian endian)
    : m_buffer(static_cast<uint8_t*>(buffer))
    , m_length(length < 0 || !buffer ? 0 : length)
    , m_endian(endian)
{
}

Binary::~Binary()
{
    m_buffer = nullptr;
    m_position = 0;
}

void Binary::reset(void* buffer, int length, binary::Endian endian)
{
    m_buffer = static_cast<uint8_t*>(buffer);
    m_length = length < 0 || !buffer ? 0 : length;
    m_position = 0;
    m_endian = endian;
}

uint8_t* Binary::data() { return skip(0); }

uint8_t* Binary::skip(int count)
{
    // Computed in 64 bits so that a large count cannot overflow the position.
    const int64_t target = int64_t(m_position) + count;
    if (target > m_length) {
        m_position = m_length;
        return nullptr;
    }
    if (target < 0) {
        m_position = 0;
        return nullptr;
    }
    m_position = int(target);
    return m_buffer ? m_buffer + m_position : nullptr;
}

bool Binary::is_end() const { return m_position >= m_length; }

int Binary::position() const { return m_position; }

int Binary::remaining() const { return m_length - m_position; }

void Binary::rewind() { m_position = 0; }

uint64_t Binary::readUnsigned(int width)
{
    if (remaining() < width)
        return 0;
    const uint8_t* bytes = m_buffer + m_position;
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
        const int index = m_endian == binary::Little ? width - 1 - i : i;
        value = (value << 8) | bytes[index];
    }
    m_position += width;
    return value;
}

void Binary::writeUnsigned(uint64_t value, int width)
{
    if (remaining() < width)
        return;
    uint8_t* bytes = m_buffer + m_position;
    for (int i = 0; i < width; ++i) {
        const int index = m_endian == binary::Little ? i : width - 1 - i;
        bytes[index] = uint8_t(value >> (8 * i));
    }
    m_position += width;
}

uint8_t Binary::read_u8() { return uint8_t(readUnsigned(1)); }
uint16_t Binary::read_u16() { return uint16_t(readUnsigned(2)); }
uint32_t Binary::read_u32() { return uint32_t(readUnsigned(4)); }
uint64_t Binary::read_u64() { return readUnsigned(8); }
void Binary::write_u8(uint8_t value) { writeUnsigned(value, 1); }
void Binary::write_u16(uint16_t value) { writeUnsigned(value, 2); }
void Binary::write_u32(uint32_t value) { writeUnsigned(value, 4); }
void Binary::write_u64(uint64_t value) { writeUnsigned(value, 8); }

namespace binary {

    Abstract_Binary* create(void* buffer, int length, Endian endian)
    {
        return new Binary(buffer, length, endian);
    }

    void destroy(Abstract_Binary** object) { destroyObject(object); }

    Endian cpuEndian()
    {
        const uint16_t probe = 1;
        return *reinterpret_cast<const uint8_t*>(&probe) == 1 ? Little : Big;
    }

} // namespace binary

} // namespace bg
