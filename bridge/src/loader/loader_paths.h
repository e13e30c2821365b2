#pragma once

#include <string>

// File-system helpers of the module loader and the configuration-directory choice.
namespace bg::loader_paths {

// Every run of '/' and '\' becomes one '/'; a trailing separator is dropped unless the path is the root.
std::string normalise(const std::string& path);
bool is_file(const std::string& path);
bool is_dir(const std::string& path);
// Creates one level (mode 0777); true when the folder exists afterwards.
bool make_dir(const std::string& path);
// Creates the folder and every missing parent; true when the folder exists afterwards.
bool make_dirs(const std::string& path);
// Creates and removes "~test_writeable~.tmp" in `dir`.
bool is_writable(const std::string& dir);
// Whether the path ends in the module suffix ".so", in any case.
bool has_module_suffix(const std::string& path);

} // namespace bg::loader_paths
