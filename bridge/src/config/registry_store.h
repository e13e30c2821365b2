#pragma once

#include <bridge/bg_export.h>

#include <string>

// The per-user key store that stands in for the registry: one file per sub-key under
// ${XDG_CONFIG_HOME:-$HOME/.config}, the sub-key's parts ("Software\Tavimeet\Admin") becoming folders and a
// file name ("Software/Tavimeet/Admin.keys"). Each operation opens, acts and closes; writes replace the file
// atomically. Failures print the registry-style message on stderr and return false.
namespace bg::registry_store {

// The process-wide switch and its root path: bg::SetEnableRegEdit sets them before any store is made, and
// bg::RegEditPath reads root() (which also holds a root built by sub_key). Exported for start-up and the
// tests; not part of the public headers.
BG_API void set_switch(bool on, const char* root);
BG_API bool enabled();
BG_API std::string root();

// The sub-key of a store file: root (or "Software\<app name>", which then becomes the root) and the file's
// base name, joined by '\', every run of separators made one '\'.
std::string sub_key(const std::string& file_path);

bool write(const std::string& sub_key, const std::string& name, const std::string& value);
bool remove(const std::string& sub_key, const std::string& name);
// The value cut to capacity - 1 bytes (with a message when it was longer).
bool read(const std::string& sub_key, const std::string& name, std::string& value, size_t capacity);

} // namespace bg::registry_store
