#include <capture/testpattern.h>

#include <cstddef>
#include <cstring>

namespace capture::testpattern {
namespace {

    constexpr Rgb kQuadrants[4] = { { 200, 40, 40 }, { 40, 180, 40 }, { 40, 40, 200 }, { 200, 200, 40 } };

    void fill(uint8_t* row, int from, int to, Rgb colour)
    {
        for (int x = from; x < to; ++x) {
            uint8_t* pixel = row + x * 4;
            pixel[0] = colour.b;
            pixel[1] = colour.g;
            pixel[2] = colour.r;
            pixel[3] = 0xFF;
        }
    }

} // namespace

Rgb quadrantColour(int quadrant) { return kQuadrants[quadrant & 3]; }

int bandTop(int height) { return height * 3 / 8; }

int bandBottom(int height) { return height * 5 / 8; }

int blockLeft(int width, int bit)
{
    return static_cast<int>(static_cast<long long>(width) * bit / kNumberBits);
}

void drawBgrx(uint8_t* pixels, int stride, int width, int height, uint32_t number)
{
    const int top = bandTop(height);
    const int bottom = bandBottom(height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * stride;
        if (y > top && y < bottom) {
            // Every band row is alike: copy the one above.
            std::memcpy(row, row - stride, static_cast<size_t>(width) * 4);
            continue;
        }
        if (y >= top && y < bottom) {
            for (int bit = 0; bit < kNumberBits; ++bit) {
                const bool one = (number >> (kNumberBits - 1 - bit)) & 1u;
                fill(row, blockLeft(width, bit), blockLeft(width, bit + 1), one ? kBitOne : kBitZero);
            }
            continue;
        }
        const int lower = y >= height / 2 ? 2 : 0;
        fill(row, 0, width / 2, kQuadrants[lower]);
        fill(row, width / 2, width, kQuadrants[lower + 1]);
    }
}

} // namespace capture::testpattern
