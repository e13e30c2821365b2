#include <bridge/share_mem.h>

#include "binary/destroy_object.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bg {

namespace {

    // Size of the object behind fd, or -1.
    off_t objectSize(int fd)
    {
        struct stat info { };
        return fstat(fd, &info) == 0 ? info.st_size : -1;
    }

    // The owner keeps an exclusive lock on its object; an object nobody locks was left by a crashed owner.
    bool ownerAlive(int fd)
    {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            flock(fd, LOCK_UN);
            return false;
        }
        return errno == EWOULDBLOCK;
    }

    // Where the system keeps the objects shm_open names ("name" and "/name" are the same object).
    std::string objectPath(const char* name)
    {
        while (*name == '/')
            ++name;
        return std::string("/dev/shm/") + name;
    }

    bool validName(const char* name)
    {
        while (*name == '/')
            ++name;
        return *name && !strchr(name, '/') && strlen(name) < 200;
    }

    // A private name for an object that is being prepared.
    std::string preparingName()
    {
        static std::atomic<unsigned> counter { 0 };
        return "/tavicast-shm-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    }

    bool sameObject(int fd, const std::string& path)
    {
        struct stat opened { }, named { };
        return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev
            && opened.st_ino == named.st_ino;
    }

} // namespace

Share_Mem::~Share_Mem() { close(); }

bool Share_Mem::alreadyHeld() const
{
    if (m_handle < 0)
        return false;
    fprintf(stderr, "[share men] already exist : %s.\n", state_text());
    fflush(stderr);
    return true;
}

int Share_Mem::create(const char* name, unsigned int size)
{
    if (alreadyHeld())
        return m_state;
    m_state = StateNone;
    if (!name || size == 0)
        return m_state;

    if (!validName(name))
        return m_state;
    // A few rounds: each one that meets a name left by a crashed owner removes it and tries again.
    for (int round = 0; round < 4 && m_state == StateNone; ++round) {
        if (publish(name, size) == StateCreated || errno != EEXIST)
            return m_state;
        const int existing = shm_open(name, O_RDWR | O_CLOEXEC, 0);
        if (existing < 0)
            continue; // its owner just removed it
        if (ownerAlive(existing)) {
            ::close(existing);
            return attachExisting(name, size);
        }
        // Only the object judged abandoned is removed, never one a racing creator has just published.
        if (sameObject(existing, objectPath(name)))
            shm_unlink(name);
        ::close(existing);
    }
    return m_state;
}

// The object is made under a private name, locked and sized, and only then given `name` in one step (a
// link, which fails when the name exists): no other creator ever sees it unlocked or short and takes it
// for one a crashed owner left. StateNone with errno EEXIST when the name is taken.
int Share_Mem::publish(const char* name, unsigned int size)
{
    const std::string preparing = preparingName();
    const int fd = shm_open(preparing.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return m_state;
    bool published = flock(fd, LOCK_EX | LOCK_NB) == 0 && ftruncate(fd, off_t(size)) == 0
        && link(objectPath(preparing.c_str()).c_str(), objectPath(name).c_str()) == 0;
    const int error = errno;
    shm_unlink(preparing.c_str());
    if (!published) {
        ::close(fd);
        errno = error;
        return m_state;
    }
    m_handle = fd;
    m_size = size;
    m_state = StateCreated;
    m_ownedName = name;
    return m_state;
}

// Another live process created the name: like the system's named mappings, create then shares that
// object, provided it is large enough for what the caller asked (a smaller one would fault on access).
int Share_Mem::attachExisting(const char* name, unsigned int size)
{
    const int fd = shm_open(name, O_RDWR | O_CLOEXEC, 0);
    if (fd < 0)
        return m_state;
    if (objectSize(fd) < off_t(size)) {
        ::close(fd);
        return m_state;
    }
    m_handle = fd;
    m_size = size;
    m_state = StateCreated;
    return m_state;
}

int Share_Mem::open(const char* name, const char* mode)
{
    if (alreadyHeld())
        return m_state;
    m_state = StateNone;
    if (!name)
        return m_state;
    const bool writable = mode && strchr(mode, 'w');
    // Left without close-on-exec: the handle is meant to be inherited by child processes.
    const int fd = shm_open(name, writable ? O_RDWR : O_RDONLY, 0);
    if (fd < 0)
        return m_state;
    m_handle = fd;
    m_readOnly = !writable;
    m_state = StateOpened;
    return m_state;
}

void Share_Mem::close()
{
    if (m_handle < 0)
        return;
    if (!m_ownedName.empty()) {
        shm_unlink(m_ownedName.c_str());
        m_ownedName.clear();
    }
    ::close(m_handle);
    m_handle = -1;
    m_state = StateNone;
    m_size = 0;
    m_readOnly = false;
}

int Share_Mem::state() const { return m_state; }

const char* Share_Mem::state_text() const
{
    switch (m_state) {
    case StateNone:
        return "null";
    case StateCreated:
        return "created";
    case StateOpened:
        return "opened";
    default:
        return "unknow";
    }
}

unsigned int Share_Mem::size() const { return m_size; }

void* Share_Mem::map()
{
    if (m_handle < 0)
        return nullptr;
    const off_t length = objectSize(m_handle);
    if (length <= 0)
        return nullptr;
    const int access = m_readOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    void* view = mmap(nullptr, size_t(length), access, MAP_SHARED, m_handle, 0);
    if (view == MAP_FAILED)
        return nullptr;
    m_views[view] = size_t(length);
    return view;
}

void Share_Mem::unmap(void* view)
{
    const auto found = m_views.find(view);
    if (found == m_views.end())
        return;
    munmap(view, found->second);
    m_views.erase(found);
}

namespace sharem {

    Abstract_ShareMem* create() { return new Share_Mem(); }

    void destroy(Abstract_ShareMem** object) { destroyObject(object); }

} // namespace sharem

} // namespace bg
