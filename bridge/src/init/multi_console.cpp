#include <bridge/bridge_init.h>
#include <bridge/consolemanager.h>
#include <bridge/func_tracer.h>
#include <bridge/logger.h>

namespace bg {

// Each record goes whole to the console window named after its log tag or its component; the console
// manager opens a window on first use.
void StartMultiConsole(bool, bool log, bool trace)
{
    if (log)
        log::hook([](int, const char* tag, const char* text) {
            ConsoleManager::instance().get(tag).Print(text, -1);
        });
    if (trace)
        trace::hook([](const char* name, uint32_t, const char* text) {
            ConsoleManager::instance().get(name).Print(text, -1);
        });
}

} // namespace bg
