#pragma once

// Reads the shared test pattern (capture/testpattern.h) back from a decoded picture: checks the four
// quadrant colours and returns the frame number carried by the row of blocks. Works on 32-bit B, G, R, X
// pixels at any size, and tolerates the colour shifts of YUV conversion, scaling and lossy coding (VP8,
// MJPEG): it averages the middle of each area and asks for clear answers only.

#include <capture/testpattern.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace testpattern_reader {

struct Average {
    int r = 0;
    int g = 0;
    int b = 0;
    int luma() const { return (r * 299 + g * 587 + b * 114) / 1000; }
};

// The mean colour of the rectangle [x0, x1) x [y0, y1).
inline Average averageBgrx(const uint8_t* pixels, int stride, int x0, int y0, int x1, int y1)
{
    long long r = 0, g = 0, b = 0, n = 0;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = pixels + static_cast<long long>(y) * stride;
        for (int x = x0; x < x1; ++x) {
            b += row[x * 4];
            g += row[x * 4 + 1];
            r += row[x * 4 + 2];
            ++n;
        }
    }
    if (!n)
        return {};
    return { static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n) };
}

inline bool near(const Average& seen, const capture::testpattern::Rgb& wanted, int tolerance)
{
    return std::abs(seen.r - wanted.r) <= tolerance && std::abs(seen.g - wanted.g) <= tolerance
        && std::abs(seen.b - wanted.b) <= tolerance;
}

// The frame number, or nothing when the picture is not the test pattern.
inline std::optional<uint32_t> readBgrx(
    const uint8_t* pixels, int stride, int width, int height, int tolerance = 48)
{
    namespace tp = capture::testpattern;
    if (width < tp::kNumberBits * 4 || height < 16)
        return std::nullopt;

    // Quadrant centres lie above and below the band of blocks.
    const int top = tp::bandTop(height);
    const int bottom = tp::bandBottom(height);
    const int rowsAbove[2] = { top / 2, (bottom + height) / 2 };
    const int spanY = std::max(1, top / 6);
    const int spanX = std::max(1, width / 16);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const int cx = quadrant % 2 ? width * 3 / 4 : width / 4;
        const int cy = rowsAbove[quadrant / 2];
        const Average seen = averageBgrx(pixels, stride, cx - spanX, cy - spanY, cx + spanX, cy + spanY);
        if (!near(seen, tp::quadrantColour(quadrant), tolerance))
            return std::nullopt;
    }

    uint32_t number = 0;
    const int cy = (top + bottom) / 2;
    const int halfHeight = std::max(1, (bottom - top) / 4);
    for (int bit = 0; bit < tp::kNumberBits; ++bit) {
        const int left = tp::blockLeft(width, bit);
        const int right = tp::blockLeft(width, bit + 1);
        const int quarter = std::max(1, (right - left) / 4);
        const int luma
            = averageBgrx(pixels, stride, left + quarter, cy - halfHeight, right - quarter, cy + halfHeight)
                  .luma();
        if (luma > 80 && luma < 176)
            return std::nullopt; // neither black nor white
        number = number << 1 | (luma >= 176 ? 1u : 0u);
    }
    return number;
}

} // namespace testpattern_reader
