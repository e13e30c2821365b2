#pragma once

#include <json/reader.h>
#include <json/value.h>

#include <exception>
#include <string>

namespace jsontext {

// Reads outside text (a service reply, a stored document) as JSON. False for text that is not JSON and for
// text the reader gives up on by throwing (nesting deeper than its limit): no exception leaves here.
inline bool parse(const char* begin, const char* end, Json::Value& out, bool collectComments = true)
{
    try {
        return Json::Reader().parse(begin, end, out, collectComments);
    } catch (const std::exception&) {
        out = Json::Value();
        return false;
    }
}

inline bool parse(const std::string& text, Json::Value& out, bool collectComments = true)
{
    return parse(text.data(), text.data() + text.size(), out, collectComments);
}

// The same text as Json::Value::toStyledString, without building a writer and a stream for every call: each
// thread keeps its own. Requests write three or four of these per round trip.
std::string styled(const Json::Value& value);

} // namespace jsontext
