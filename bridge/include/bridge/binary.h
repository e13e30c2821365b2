#pragma once

#include <bridge/abstract_binary.h>

namespace bg {

// The one implementation of Abstract_Binary; see there for ownership and failure handling.
class BG_API Binary : public Abstract_Binary {
public:
    Binary(void* buffer, int length, binary::Endian endian);
    ~Binary() override;

    void reset(void* buffer, int length, binary::Endian endian) override;
    uint8_t* data() override;
    uint8_t* skip(int count) override;
    bool is_end() const override;
    int position() const override;
    int remaining() const override;
    void rewind() override;
    uint8_t read_u8() override;
    uint16_t read_u16() override;
    uint32_t read_u32() override;
    uint64_t read_u64() override;
    void write_u8(uint8_t value) override;
    void write_u16(uint16_t value) override;
    void write_u32(uint32_t value) override;
    void write_u64(uint64_t value) override;

private:
    uint64_t readUnsigned(int width);
    void writeUnsigned(uint64_t value, int width);

    uint8_t* m_buffer;
    int m_length;
    int m_position = 0;
    binary::Endian m_endian;
};

} // namespace bg
