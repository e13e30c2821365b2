#include "net/taskparams.h"

#include "net/requeststore.h"

namespace taskparams {

namespace {

    const bg::Value* find(const bg::ValueMap& params, const char* key)
    {
        return params.isContains(key) ? &params[key] : nullptr;
    }

} // namespace

std::string text(const bg::ValueMap& params, const char* key)
{
    const bg::Value* value = find(params, key);
    return value && value->type() == bg::Value::VT_STRING ? value->toStdString() : std::string();
}

int int32(const bg::ValueMap& params, const char* key)
{
    return static_cast<int32_t>(static_cast<uint32_t>(int64(params, key)));
}

int64_t int64(const bg::ValueMap& params, const char* key)
{
    const bg::Value* value = find(params, key);
    return value ? requeststore::integerOf(*value, 0) : 0;
}

bool boolean(const bg::ValueMap& params, const char* key) { return int64(params, key) != 0; }

std::map<std::string, std::string> textMap(const bg::ValueMap& params, const char* key)
{
    std::map<std::string, std::string> entries;
    const bg::Value* value = find(params, key);
    if (!value || value->type() != bg::Value::VT_MAP)
        return entries;
    for (const auto& [name, entry] : value->toMap())
        entries[name] = entry.type() == bg::Value::VT_STRING ? entry.toStdString() : std::string();
    return entries;
}

std::string callerTag(const bg::ValueMap& params)
{
    return params.isContains("uuid") ? text(params, "uuid") : text(params, "req_id");
}

} // namespace taskparams
