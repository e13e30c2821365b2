#pragma once

#include <bridge/valuemap.h>

#include <cstdint>
#include <map>
#include <string>

// Reading a task's parameters by their type tags. A missing key, or a value of another kind, reads as the
// empty text, 0, false or an empty map; a key is looked up before it is read, so a missing optional key is
// not reported anywhere. Pure functions, callable from any thread.
namespace taskparams {

std::string text(const bg::ValueMap& params, const char* key);
// The integer's low 32 bits as a signed number.
int int32(const bg::ValueMap& params, const char* key);
int64_t int64(const bg::ValueMap& params, const char* key);
bool boolean(const bg::ValueMap& params, const char* key);
// A map parameter's entries, each key with its value's text (empty for a value without text).
std::map<std::string, std::string> textMap(const bg::ValueMap& params, const char* key);
// The caller's tag of a task: "uuid", else "req_id", else empty.
std::string callerTag(const bg::ValueMap& params);

} // namespace taskparams
