#pragma once

#include <string>

// Process-wide start-up state of libbridge, recorded by bg::InitBridge, bg::SetConfigLogDir and
// bg::SetEnableRegEdit, and read by the application info, the configuration store and the module loader.
// Internal to the library; read and written on the thread that starts and ends the process.
namespace bg::startup {

// The executable's full path, its folder (up to and including the last separator) and its name without
// extension, all UTF-8.
const std::string& exe_path();
const std::string& exe_dir();
const std::string& app_name();
// The directory given to bg::SetConfigLogDir ("" for none).
const std::string& config_dir_setting();
// Whether the configuration store keeps its values in the registry stand-in (switched by
// bg::SetEnableRegEdit, kept by the key store itself).
bool registry_mode();

// Records the executable's identity from a path such as /proc/self/exe or argv[0].
void record_exe(const std::string& path);
void set_config_dir_setting(const std::string& dir);

} // namespace bg::startup
