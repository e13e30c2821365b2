#include <devservice/jsonfields.h>

#include <json/reader.h>

#include <memory>

namespace devservice::jsonfields {

namespace {

    const Json::Value& nullValue()
    {
        static const Json::Value value;
        return value;
    }

    std::unique_ptr<Json::CharReader> newReader()
    {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        builder["stackLimit"] = kMaxDepth;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }

} // namespace

bool parse(std::string_view text, Json::Value& out, std::string* error)
{
    // One reader per thread: building one per call costs more than parsing a short request.
    thread_local std::unique_ptr<Json::CharReader> reader = newReader();
    std::string errors;
    bool ok = false;
    try {
        ok = reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    } catch (const std::exception&) {
        // Thrown past the stack limit; a fresh reader holds nothing of the interrupted parse.
        errors = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
        reader = newReader();
    }
    if (!ok) {
        out = Json::Value();
        if (error)
            *error = errors.empty() ? std::string("not JSON") : errors;
    }
    return ok;
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

bool has(const Json::Value& object, const char* key)
{
    return object.isObject() && object.find(key, key + std::char_traits<char>::length(key)) != nullptr;
}

// jsoncpp's isInt64() and friends are range checks (isIntegral() is not): true for integers the type holds
// and for reals with an integral value in its range; false for booleans.
std::optional<int64_t> toInt64(const Json::Value& value)
{
    return value.isInt64() ? std::optional<int64_t>(value.asInt64()) : std::nullopt;
}

std::optional<uint64_t> toUInt64(const Json::Value& value)
{
    return value.isUInt64() ? std::optional<uint64_t>(value.asUInt64()) : std::nullopt;
}

std::optional<int> toInt(const Json::Value& value)
{
    return value.isInt() ? std::optional<int>(value.asInt()) : std::nullopt;
}

std::optional<double> toDouble(const Json::Value& value)
{
    return value.isDouble() ? std::optional<double>(value.asDouble()) : std::nullopt;
}

std::optional<bool> toBool(const Json::Value& value)
{
    return value.isBool() ? std::optional<bool>(value.asBool()) : std::nullopt;
}

std::optional<std::string> toString(const Json::Value& value)
{
    return value.isString() ? std::optional<std::string>(value.asString()) : std::nullopt;
}

} // namespace devservice::jsonfields
