#include "win/sharedmemory.h"

#include <bridge/bg_log.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kMode = 0600;
constexpr long kWriteWaitMs = 100;

std::string toUtf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

timespec deadlineAfter(long ms)
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_nsec += ms * 1000000L;
    ts.tv_sec += ts.tv_nsec / 1000000000L;
    ts.tv_nsec %= 1000000000L;
    return ts;
}

} // namespace

SharedMemory::SharedMemory() = default;

SharedMemory::~SharedMemory()
{
    close();
}

// POSIX object names are one path component with a leading '/'.
std::string SharedMemory::posixName(const char* suffix) const
{
    std::string name = toUtf8(m_name) + suffix;
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return "/" + name;
}

bool SharedMemory::create(const std::wstring& name, uint32_t size, bool create)
{
    close();
    m_name = name;
    m_size = size;
    const char* verb = create ? "create" : "open";

    m_mapping = shm_open(posixName("").c_str(), create ? O_RDWR | O_CREAT : O_RDWR, kMode);
    if (m_mapping < 0) {
        BG_LOGE("can not %s FileMapping, error: %d", verb, errno);
        return false;
    }
    fchmod(m_mapping, kMode);

    if (create) {
        // The owner holds an exclusive lock for its life; the kernel drops it when the owner dies,
        // so a block left by a killed owner is free to be taken over.
        m_owner = flock(m_mapping, LOCK_EX | LOCK_NB) == 0;
        if (m_owner) {
            // Fresh content and fresh companions: whatever a dead owner left is discarded.
            if (ftruncate(m_mapping, 0) != 0 || ftruncate(m_mapping, off_t(size)) != 0) {
                BG_LOGE("can not %s FileMapping, error: %d", verb, errno);
                close();
                return false;
            }
            sem_unlink(posixName("_sync").c_str());
            sem_unlink(posixName("_event").c_str());
        }
        m_writeLock = sem_open(posixName("_sync").c_str(), O_CREAT, kMode, 1);
        m_writeEvent = sem_open(posixName("_event").c_str(), O_CREAT, kMode, 0);
    } else {
        m_writeEvent = sem_open(posixName("_event").c_str(), 0);
    }

    struct stat st {};
    if (fstat(m_mapping, &st) != 0 || st.st_size < off_t(size)) {
        BG_LOGE("can not %s FileMapping, error: %d", verb, EINVAL);
        close();
        return false;
    }
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_mapping, 0);
    if (view == MAP_FAILED) {
        BG_LOGE("can not %s FileMapping, error: %d", verb, errno);
        close();
        return false;
    }
    m_view = view;
    return true;
}

bool SharedMemory::write(const void* data, size_t length)
{
    if (!m_view || length > m_size)
        return false;
    sem_t* lock = sem_open(posixName("_sync").c_str(), 0);
    if (lock == SEM_FAILED)
        return false;
    const timespec deadline = deadlineAfter(kWriteWaitMs);
    int waited;
    while ((waited = sem_timedwait(lock, &deadline)) != 0 && errno == EINTR) { }
    if (waited != 0) {
        sem_close(lock);
        return false;
    }
    std::memcpy(m_view, data, length);
    sem_post(lock);
    sem_close(lock);
    // An auto-reset event: at most one pending wake-up.
    if (m_writeEvent != SEM_FAILED) {
        int pending = 0;
        if (sem_getvalue(m_writeEvent, &pending) == 0 && pending == 0)
            sem_post(m_writeEvent);
    }
    return true;
}

void SharedMemory::close()
{
    if (m_view) {
        munmap(m_view, m_size);
        m_view = nullptr;
    }
    if (m_writeLock != SEM_FAILED) {
        sem_close(m_writeLock);
        m_writeLock = SEM_FAILED;
    }
    if (m_writeEvent != SEM_FAILED) {
        sem_close(m_writeEvent);
        m_writeEvent = SEM_FAILED;
    }
    if (m_owner) {
        shm_unlink(posixName("").c_str());
        sem_unlink(posixName("_sync").c_str());
        sem_unlink(posixName("_event").c_str());
        m_owner = false;
    }
    if (m_mapping >= 0) {
        ::close(m_mapping); // also releases the owner lock
        m_mapping = -1;
    }
}
