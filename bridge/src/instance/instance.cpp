#include <bridge/instance.h>

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace bg {

namespace {

    // Created on first use and never destroyed, so that registrations made while other libraries'
    // statics are torn down still find it.
    std::map<std::string, void*>& registry()
    {
        static auto* entries = new std::map<std::string, void*>();
        return *entries;
    }

    std::string key_of(const char* name) { return name ? name : ""; }

    // The type's readable name, as the compiler's demangler spells it ("bg::Admin").
    std::string key_of(const std::type_info& type)
    {
        int status = 0;
        std::unique_ptr<char, decltype(&std::free)> readable(
            abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
        return status == 0 && readable ? readable.get() : type.name();
    }

} // namespace

void setInstance(const char* name, void* obj) { registry()[key_of(name)] = obj; }

void setInstance(const std::type_info& type, void* obj) { registry()[key_of(type)] = obj; }

void* getInstance(const char* name)
{
    auto found = registry().find(key_of(name));
    return found == registry().end() ? nullptr : found->second;
}

void* getInstance(const std::type_info& type)
{
    auto found = registry().find(key_of(type));
    return found == registry().end() ? nullptr : found->second;
}

int eraseInstance(const char* name) { return int(registry().erase(key_of(name))); }

void clearInstance() { registry().clear(); }

int getInstanceCount() { return int(registry().size()); }

void travellInstance(TravellCallback callback, void* ctx)
{
    if (!callback)
        return;
    auto& entries = registry();
    for (auto it = entries.begin(); it != entries.end();) {
        // Step past the entry first, so that the callback may erase the one it is given.
        auto current = it++;
        callback(current->first.c_str(), current->second, ctx);
    }
}

} // namespace bg
