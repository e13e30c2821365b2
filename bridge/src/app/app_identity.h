#pragma once

#include <string>

// The executable's identity (full path, folder with its trailing '/', name without extension), shared by the
// application info, the configuration store and module loading. Until start-up records it, it is taken from
// /proc/self/exe.
namespace bg::app_identity {

// Records the identity from a path such as argv[0] or /proc/self/exe.
void record(const std::string& path);
const std::string& filepath();
const std::string& dir();
const std::string& name();

} // namespace bg::app_identity
