#include "jsonread/jsonread.h"

#include <json/reader.h>

#include <memory>

namespace jsonread {
namespace {

    const Json::Value& nullValue()
    {
        static const Json::Value value;
        return value;
    }

    std::unique_ptr<Json::CharReader> newReader(bool collectComments)
    {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = collectComments;
        builder["stackLimit"] = kMaxDepth;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }

} // namespace

bool parse(const char* begin, const char* end, Json::Value& out, std::string* error, bool collectComments)
{
    // One reader per thread and setting: building one per call costs more than parsing a short reply.
    thread_local std::unique_ptr<Json::CharReader> plain = newReader(false);
    thread_local std::unique_ptr<Json::CharReader> commented = newReader(true);
    std::unique_ptr<Json::CharReader>& reader = collectComments ? commented : plain;
    std::string errors;
    bool ok = false;
    try {
        ok = reader->parse(begin, end, &out, &errors);
    } catch (const std::exception& e) {
        // The reader throws past its stack limit; a fresh one holds nothing of the interrupted parse.
        errors = e.what();
        reader = newReader(collectComments);
    }
    if (!ok) {
        out = Json::Value();
        if (error)
            *error = errors.empty() ? std::string("not JSON") : errors;
    }
    return ok;
}

bool parse(std::string_view text, Json::Value& out, std::string* error)
{
    return parse(text.data(), text.data() + text.size(), out, error);
}

std::optional<Json::Value> parseObject(std::string_view text)
{
    Json::Value value;
    if (!parse(text, value) || !value.isObject())
        return std::nullopt;
    return value;
}

const Json::Value& member(const Json::Value& object, const char* key)
{
    if (!object.isObject())
        return nullValue();
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : nullValue();
}

const Json::Value& member(const Json::Value& object, const std::string& key)
{
    if (!object.isObject())
        return nullValue();
    const Json::Value* found = object.find(key.data(), key.data() + key.size());
    return found ? *found : nullValue();
}

const Json::Value& element(const Json::Value& array, Json::ArrayIndex index)
{
    if (!array.isArray() || index >= array.size())
        return nullValue();
    return array[index];
}

// jsoncpp's isInt64() and friends are range checks (isIntegral() is not): true for integers the type holds
// and for reals with an integral value in its range; false for booleans.
std::optional<int64_t> toInt64(const Json::Value& value)
{
    if (!value.isInt64())
        return std::nullopt;
    return value.asInt64();
}

std::optional<uint64_t> toUInt64(const Json::Value& value)
{
    if (!value.isUInt64())
        return std::nullopt;
    return value.asUInt64();
}

std::optional<int> toInt(const Json::Value& value)
{
    if (!value.isInt())
        return std::nullopt;
    return value.asInt();
}

std::optional<double> toDouble(const Json::Value& value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.asDouble();
}

std::optional<bool> toBool(const Json::Value& value)
{
    if (!value.isBool())
        return std::nullopt;
    return value.asBool();
}

std::optional<std::string> toString(const Json::Value& value)
{
    if (!value.isString())
        return std::nullopt;
    return value.asString();
}

const Json::Value* objectOf(const Json::Value& object, const char* key)
{
    const Json::Value& found = member(object, key);
    return found.isObject() ? &found : nullptr;
}

const Json::Value* arrayOf(const Json::Value& object, const char* key)
{
    const Json::Value& found = member(object, key);
    return found.isArray() ? &found : nullptr;
}

} // namespace jsonread
