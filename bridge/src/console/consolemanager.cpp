#include <bridge/consolemanager.h>

#include <mutex>

ConsoleManager& ConsoleManager::instance()
{
    static ConsoleManager manager;
    return manager;
}

CConsoleLogger& ConsoleManager::get(const char* name)
{
    const std::string key = name ? name : "";
    {
        std::shared_lock<std::shared_mutex> reading(m_lock);
        const auto found = m_consoles.find(key);
        if (found != m_consoles.end())
            return found->second ? *found->second : m_inert;
    }
    std::unique_lock<std::shared_mutex> writing(m_lock);
    const auto found = m_consoles.find(key);
    if (found != m_consoles.end())
        return found->second ? *found->second : m_inert;
    auto console = std::make_unique<CConsoleLogger>();
    if (console->Create(name, -1, -1, name, nullptr) != 0)
        console.reset();
    CConsoleLogger& result = console ? *console : m_inert;
    m_consoles.emplace(key, std::move(console));
    return result;
}
