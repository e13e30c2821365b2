#pragma once

#include <bridge/value.h>

#include <string>

namespace bg {

// What diagnostics may print of a value: its type and the length of its text, never the text itself (a
// user-info value carries its token).
inline std::string value_summary(const Value& value)
{
    return "(type " + std::to_string(int(value.type())) + ", " + std::to_string(value.bytes_len()) + " bytes)";
}

} // namespace bg
