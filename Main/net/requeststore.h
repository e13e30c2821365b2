#pragma once

#include <bridge/value.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The run-time data store and the application info as the request classes read and write them: the
// framework's (through CD; reads give the fallback and writes are dropped while CD or its store is missing),
// unless a test replaces them. Every function may be called from any thread.
namespace requeststore {

bg::Value data(const char* key, const bg::Value& fallback);
void setData(const char* key, const bg::Value& value);
bg::Value appProperty(const char* key, const bg::Value& fallback);

// A data-store text; `fallback` when the key is absent or holds no text.
std::string dataText(const char* key, const std::string& fallback = std::string());
// An integer read by its type tag (32 or 64 bits, signed or not, bool); `fallback` for any other value.
int64_t integerOf(const bg::Value& value, int64_t fallback);

// Test seam: replaces both stores (an unset optional restores the default). Not meant to change while
// requests run.
struct Stores {
    std::function<bg::Value(const char*, const bg::Value&)> data;
    std::function<void(const char*, const bg::Value&)> setData;
    std::function<bg::Value(const char*, const bg::Value&)> appProperty;
};
void setStores(std::optional<Stores> stores);

} // namespace requeststore
