#pragma once

#include <bridge/bg_export.h>

#include <typeinfo>

// The process-wide registry from a key (a name, or a type's readable name) to an object pointer, in
// byte-wise key order. It owns nothing and has no lock: registration and removal happen on the thread that
// starts and ends the framework.
namespace bg {

// Called once per entry by travellInstance; it may remove the entry it was given, but no other.
using TravellCallback = void (*)(const char* key, void* obj, void* ctx);

BG_API void setInstance(const char* name, void* obj);
BG_API void setInstance(const std::type_info& type, void* obj);
// The registered pointer, or null.
BG_API void* getInstance(const char* name);
BG_API void* getInstance(const std::type_info& type);
// The number of entries removed (0 or 1).
BG_API int eraseInstance(const char* name);
BG_API void clearInstance();
BG_API int getInstanceCount();
BG_API void travellInstance(TravellCallback callback, void* ctx);
// Logs every entry as a component, with its inited and started bits, through CD's logger.
BG_API void showAllInstance(const char* tag);

} // namespace bg
