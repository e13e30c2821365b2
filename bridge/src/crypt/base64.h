#pragma once

#include <cstddef>

namespace bg::base64 {

// Writes the padded base64 of `in` and a terminator; `out` must hold ((length + 2) / 3) * 4 + 1 bytes.
void encode(char* out, const unsigned char* in, size_t length);

// Decodes at most `length` characters of `text`, stopping early at '=' or a zero byte, and writes at most
// `capacity` bytes. Characters past the capacity are still checked. Bytes written, or -1 for a character
// outside the alphabet.
long decode(unsigned char* out, size_t capacity, const char* text, size_t length);

} // namespace bg::base64
