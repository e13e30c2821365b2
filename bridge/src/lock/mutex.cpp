#include <bridge/mutex.h>
#include <bridge/mutexrecursive.h>

namespace bg {

// std::mutex reports platform errors as std::system_error, which is what callers of these locks expect.
Mutex::Mutex() = default;
Mutex::~Mutex() = default;
void Mutex::lock() { m_mutex.lock(); }
bool Mutex::try_lock() { return m_mutex.try_lock(); }
void Mutex::unlock() { m_mutex.unlock(); }

MutexRecursive::MutexRecursive() = default;
MutexRecursive::~MutexRecursive() = default;
void MutexRecursive::lock() { m_mutex.lock(); }
bool MutexRecursive::try_lock() { return m_mutex.try_lock(); }
void MutexRecursive::unlock() { m_mutex.unlock(); }

} // namespace bg
