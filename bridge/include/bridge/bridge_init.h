#pragma once

#include <bridge/bg_export.h>

#include <functional>

namespace bg {
class Interface;
}

// The process's root component (the admin); null before bg::InitBridge and after bg::UninitBridge.
extern BG_API bg::Interface* CD;
// Set by bg::UninitBridge, so that running code can notice that tear-down has begun.
extern BG_API bool Bg_Is_Aborted;

// Start-up and tear-down of the framework. Meant for the thread that starts and ends the process; none of
// these functions takes a lock. Misuse (calls in the wrong order) is reported on stderr and changes nothing.
namespace bg {

// Creates, initialises and starts the admin as CD; only argv[0] is read. Always 0; a second call while CD
// is set changes nothing but clearing Bg_Is_Aborted.
BG_API int InitBridge(int argc, char** argv);
// Runs the exit list (last in, first out) and deletes CD; a second call does nothing.
BG_API void UninitBridge();
// Before InitBridge only: the preferred configuration and log directory (null means none).
BG_API void SetConfigLogDir(const char* dir);
// Before InitBridge only: switches the configuration store's registry mode and its path.
BG_API void SetEnableRegEdit(bool on, const char* path);
// The kept registry path ("" when none).
BG_API const char* RegEditPath();
// Loads and registers the named module libraries, then starts them when `start`; returns how many loaded.
BG_API int LoadModules(const char* const* names, int count, bool start);
BG_API bool LoadModule(const char* name, bool start);
// False when CD is null, else the admin's start.
BG_API bool StartModules();
// Adds a function to the exit list that UninitBridge (or the process exit) runs once, newest first.
BG_API void atExit(std::function<void()> fn);
// Calls `handler` with the text of every "BgError" signal on CD's shared hub.
BG_API void RegistBgErrHandle(std::function<void(const char*)> handler);
// Sets the environment variable `name` to `p` in "%p" form; 0 on success.
BG_API int SetEnvPtr(const char* name, void* p);
// *out = the pointer read back from the variable, or null when absent or unreadable.
BG_API void GetEnvPtr(const char* name, void** out);
// Routes log and trace texts to console windows; the first flag is not consulted.
BG_API void StartMultiConsole(bool, bool log, bool trace);
BG_API void SetConsoleUtf8();

} // namespace bg
