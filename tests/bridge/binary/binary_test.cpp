#include <bridge/abstract_binary.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

using bg::Abstract_Binary;
namespace binary = bg::binary;

namespace {

struct BinaryDeleter {
    void operator()(Abstract_Binary* object) const { binary::destroy(&object); }
};
using BinaryPtr = std::unique_ptr<Abstract_Binary, BinaryDeleter>;

BinaryPtr makeBinary(void* buffer, int length, binary::Endian endian)
{
    return BinaryPtr(binary::create(buffer, length, endian));
}

struct OrderCase {
    int width;
    uint64_t value;
    std::vector<uint8_t> big;
};

// Each value's big-endian bytes; little-endian is the same bytes reversed.
const OrderCase kOrderCases[] = {
    { 1, 0xAB, { 0xAB } },
    { 2, 1, { 0x00, 0x01 } },
    { 2, 0x1234, { 0x12, 0x34 } },
    { 4, 1, { 0x00, 0x00, 0x00, 0x01 } },
    { 4, 0xDEADBEEF, { 0xDE, 0xAD, 0xBE, 0xEF } },
    { 8, 0x0102030405060708ull, { 1, 2, 3, 4, 5, 6, 7, 8 } },
    { 8, 0xFFFFFFFFFFFFFFFFull, { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } },
};

void writeValue(Abstract_Binary& b, int width, uint64_t value)
{
    switch (width) {
    case 1:
        b.write_u8(uint8_t(value));
        break;
    case 2:
        b.write_u16(uint16_t(value));
        break;
    case 4:
        b.write_u32(uint32_t(value));
        break;
    default:
        b.write_u64(value);
        break;
    }
}

uint64_t readValue(Abstract_Binary& b, int width)
{
    switch (width) {
    case 1:
        return b.read_u8();
    case 2:
        return b.read_u16();
    case 4:
        return b.read_u32();
    default:
        return b.read_u64();
    }
}

} // namespace

TEST(Binary, ByteOrderTableWritesAndReadsBothOrders)
{
    for (const OrderCase& c : kOrderCases) {
        for (binary::Endian endian : { binary::Big, binary::Little }) {
            SCOPED_TRACE(
                testing::Message() << "width " << c.width << " value " << c.value << " endian " << endian);
            std::vector<uint8_t> expected = c.big;
            if (endian == binary::Little)
                expected.assign(c.big.rbegin(), c.big.rend());

            std::vector<uint8_t> buffer(c.width, 0x55);
            auto writer = makeBinary(buffer.data(), c.width, endian);
            writeValue(*writer, c.width, c.value);
            EXPECT_EQ(buffer, expected);
            EXPECT_TRUE(writer->is_end());

            auto reader = makeBinary(expected.data(), c.width, endian);
            EXPECT_EQ(readValue(*reader, c.width), c.value);
            EXPECT_EQ(reader->remaining(), 0);
        }
    }
}

TEST(Binary, AnyEndianOtherThanLittleIsBigEndian)
{
    uint8_t bytes[] = { 0x01, 0x00 };
    auto b = makeBinary(bytes, 2, static_cast<binary::Endian>(7));
    EXPECT_EQ(b->read_u16(), 256);
}

TEST(Binary, SequentialReadsMoveToTheEnd)
{
    uint8_t bytes[] = { 0x00, 0x01, 0x00, 0x02 };
    auto b = makeBinary(bytes, 4, binary::Big);
    EXPECT_EQ(b->read_u16(), 1);
    EXPECT_EQ(b->position(), 2);
    EXPECT_EQ(b->read_u16(), 2);
    EXPECT_TRUE(b->is_end());
    EXPECT_EQ(b->remaining(), 0);

    b->rewind();
    EXPECT_EQ(b->position(), 0);
    EXPECT_EQ(b->read_u32(), 0x00010002u);
}

TEST(Binary, AccessPastTheEndIsRefusedAndTouchesNothing)
{
    // Guard bytes around a 3-byte window show that nothing outside it is read or written.
    std::array<uint8_t, 7> memory = { 0xEE, 0xEE, 1, 2, 3, 0xEE, 0xEE };
    auto b = makeBinary(memory.data() + 2, 3, binary::Little);
    b->skip(2);

    b->write_u16(0xABCD);
    b->write_u32(0xABCDABCD);
    b->write_u64(0xABCDABCDABCDABCDull);
    EXPECT_EQ(memory, (std::array<uint8_t, 7> { 0xEE, 0xEE, 1, 2, 3, 0xEE, 0xEE }));
    EXPECT_EQ(b->position(), 2);

    EXPECT_EQ(b->read_u16(), 0);
    EXPECT_EQ(b->read_u64(), 0u);
    EXPECT_EQ(b->position(), 2);
    EXPECT_EQ(b->read_u8(), 3);
    EXPECT_EQ(b->read_u8(), 0);
    EXPECT_TRUE(b->is_end());
}

TEST(Binary, SkipClampsAtBothEnds)
{
    uint8_t bytes[4] = {};
    auto b = makeBinary(bytes, 4, binary::Big);
    EXPECT_EQ(b->skip(0), bytes);
    EXPECT_EQ(b->skip(1), bytes + 1);
    EXPECT_EQ(b->data(), bytes + 1);

    EXPECT_EQ(b->skip(5), nullptr);
    EXPECT_EQ(b->position(), 4);
    // A position equal to the length is not past the end.
    EXPECT_EQ(b->data(), bytes + 4);

    EXPECT_EQ(b->skip(-10), nullptr);
    EXPECT_EQ(b->position(), 0);
    EXPECT_EQ(b->skip(2147483647), nullptr);
    EXPECT_EQ(b->position(), 4);
}

TEST(Binary, ResetTakesTheNewBufferAndOrder)
{
    uint8_t first[] = { 0x00, 0x01 };
    uint8_t second[] = { 0x01, 0x00, 0x02 };
    auto b = makeBinary(first, 2, binary::Big);
    EXPECT_EQ(b->read_u16(), 1);
    b->reset(second, 3, binary::Little);
    EXPECT_EQ(b->position(), 0);
    EXPECT_EQ(b->remaining(), 3);
    EXPECT_EQ(b->read_u16(), 1);
}

TEST(Binary, DestroyClearsThePointerAndCpuIsLittleEndian)
{
    uint8_t byte = 0;
    Abstract_Binary* b = binary::create(&byte, 1, binary::Big);
    binary::destroy(&b);
    EXPECT_EQ(b, nullptr);
    binary::destroy(&b);
    binary::destroy(nullptr);
    EXPECT_EQ(binary::cpuEndian(), binary::Little);
}
