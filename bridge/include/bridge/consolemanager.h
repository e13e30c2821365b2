#pragma once

#include <bridge/cconsolelogger.h>
#include <bridge/readwritemutex.h>

#include <memory>
#include <string>
#include <unordered_map>

// One console per name for the whole process, each made on first use. A name whose console failed to
// open gets an inert console (Print gives -1) and is not tried again. Thread-safe; the consoles live until
// the process ends.
class BG_API ConsoleManager {
public:
    static ConsoleManager& instance();

    CConsoleLogger& get(const char* name);

private:
    ConsoleManager() = default;

    std::unordered_map<std::string, std::unique_ptr<CConsoleLogger>> m_consoles;
    bg::ReadWriteMutex m_lock;
    CConsoleLogger m_inert;
};
