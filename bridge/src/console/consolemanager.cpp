#include <bridge/consolemanager.h>

namespace {

// Holds a read or a write lock of a bg::ReadWriteMutex for one scope.
class ScopedLock {
public:
    ScopedLock(bg::ReadWriteMutex& lock, bool write)
        : m_lock(lock)
    {
        write ? m_lock.lock_write() : m_lock.lock_read();
    }
    ~ScopedLock() { m_lock.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    bg::ReadWriteMutex& m_lock;
};

} // namespace

ConsoleManager& ConsoleManager::instance()
{
    // Never destroyed: log records of the exit list's tear-down still reach their consoles.
    static auto* manager = new ConsoleManager;
    return *manager;
}

CConsoleLogger& ConsoleManager::get(const char* name)
{
    const std::string key = name ? name : "";
    {
        ScopedLock reading(m_lock, false);
        const auto found = m_consoles.find(key);
        if (found != m_consoles.end())
            return found->second ? *found->second : m_inert;
    }
    ScopedLock writing(m_lock, true);
    const auto found = m_consoles.find(key);
    if (found != m_consoles.end())
        return found->second ? *found->second : m_inert;
    // The name is the window's title only: the pipe gets a name of its own, so that the same tag in two
    // processes (or a tag holding '/') never clashes on the file system.
    auto console = std::make_unique<CConsoleLogger>();
    if (console->Create(name, -1, -1, nullptr, nullptr) != 0)
        console.reset();
    CConsoleLogger& result = console ? *console : m_inert;
    m_consoles.emplace(key, std::move(console));
    return result;
}
