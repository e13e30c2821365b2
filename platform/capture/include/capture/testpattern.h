#pragma once

// The shared test pattern: four coloured quadrants and, across the middle, the frame number as a row of
// black and white blocks (most significant bit first). The blocks are large and the colours far apart,
// so the picture stays readable after scaling and lossy coding; tests/support holds the reader.

#include <cstdint>

namespace capture::testpattern {

inline constexpr int kNumberBits = 16;

struct Rgb {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// Top left, top right, bottom left, bottom right.
Rgb quadrantColour(int quadrant);
inline constexpr Rgb kBitOne { 235, 235, 235 };
inline constexpr Rgb kBitZero { 16, 16, 16 };

// The band of number blocks covers rows [bandTop, bandBottom) over the whole width, split into
// kNumberBits equal blocks.
int bandTop(int height);
int bandBottom(int height);
int blockLeft(int width, int bit);

// Draws the picture of frame `number` into 32-bit pixels, B, G, R, X in memory, rows top-down.
void drawBgrx(uint8_t* pixels, int stride, int width, int height, uint32_t number);

} // namespace capture::testpattern
