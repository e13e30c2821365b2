#pragma once

#include <jsonread/jsonread.h>

#include <json/value.h>

#include <string>

namespace jsontext {

// Reads outside text (a service reply, a stored document) as JSON through the guarded reader: false, with
// `out` null, for text that is not JSON or nests deeper than jsonread::kMaxDepth; nothing throws.
inline bool parse(const char* begin, const char* end, Json::Value& out, bool collectComments = true)
{
    return jsonread::parse(begin, end, out, nullptr, collectComments);
}

inline bool parse(const std::string& text, Json::Value& out, bool collectComments = true)
{
    return parse(text.data(), text.data() + text.size(), out, collectComments);
}

// The same text as Json::Value::toStyledString, without building a writer and a stream for every call: each
// thread keeps its own. Requests write three or four of these per round trip.
std::string styled(const Json::Value& value);

} // namespace jsontext
