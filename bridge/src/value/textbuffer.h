#pragma once

#include <climits>
#include <cstdarg>
#include <cstdlib>

namespace bg::detail {

// Sizes of text buffers: computed sizes grow in 32-byte steps.
inline int roundUp32(int n) { return (n + 31) / 32 * 32; }
inline int roundDown32(int n) { return n / 32 * 32; }
// Largest text length whose buffer size still fits an int with room for the 32-byte steps.
constexpr long long kMaxTextLength = INT_MAX - 64;

// Formats into a new malloc'd buffer of (length + 32) rounded down to 32 bytes. Returns the length, -1 on a
// format error (no buffer) and -2 when the buffer cannot be allocated.
int formatNew(char** out, const char* fmt, va_list ap);

} // namespace bg::detail
