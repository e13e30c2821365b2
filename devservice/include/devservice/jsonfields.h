#pragma once

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading JSON that reaches the service from outside: request bodies, envelopes, chat frames.
//
// jsoncpp throws on much of what a client can send: nesting past its stack limit, asInt*() of a number out
// of range (isIntegral() is true for 1e19), asString() of an object, the const operator[] of a value that is
// no object. Nothing here throws: text that cannot be read is a failed parse, and a member that is missing,
// of another type or out of range reads as absent (std::nullopt or a null value).
//
// Stateless; every function may be called from any thread.
namespace devservice::jsonfields {

// The deepest nesting of arrays and objects accepted; no request of a client comes near it.
constexpr int kMaxDepth = 64;

// Parses `text` as one JSON value. False, with `out` null, for text that is not JSON or nests deeper than
// kMaxDepth; `error`, when given, then says why.
bool parse(std::string_view text, Json::Value& out, std::string* error = nullptr);

// The member `key` of `object`, or a null value when `object` is no object or has no such member.
const Json::Value& member(const Json::Value& object, const char* key);
const Json::Value& member(const Json::Value& object, const std::string& key);
// The element `index` of `array`, or a null value when `array` is no array or too short.
const Json::Value& element(const Json::Value& array, Json::ArrayIndex index);

// A value as a type: std::nullopt for a wrong type or a number the type cannot hold. Integer types take
// integers and reals with an integral value in range (as jsoncpp writes 5.0); booleans are never numbers.
std::optional<int64_t> toInt64(const Json::Value& value);
std::optional<uint64_t> toUInt64(const Json::Value& value);
std::optional<int> toInt(const Json::Value& value);
std::optional<double> toDouble(const Json::Value& value);
std::optional<bool> toBool(const Json::Value& value);
std::optional<std::string> toString(const Json::Value& value);

// The same for a member of an object.
inline std::optional<int64_t> int64Of(const Json::Value& object, const char* key)
{
    return toInt64(member(object, key));
}
inline std::optional<uint64_t> uint64Of(const Json::Value& object, const char* key)
{
    return toUInt64(member(object, key));
}
inline std::optional<int> intOf(const Json::Value& object, const char* key) { return toInt(member(object, key)); }
inline std::optional<double> doubleOf(const Json::Value& object, const char* key)
{
    return toDouble(member(object, key));
}
inline std::optional<bool> boolOf(const Json::Value& object, const char* key) { return toBool(member(object, key)); }
inline std::optional<std::string> stringOf(const Json::Value& object, const char* key)
{
    return toString(member(object, key));
}

// Whether `object` has the member `key` (false for anything that is no object).
bool has(const Json::Value& object, const char* key);

} // namespace devservice::jsonfields
