#pragma once

#include <semaphore.h>

#include <cstddef>
#include <cstdint>
#include <string>

// A named shared-memory block with a writer lock ("<name>_sync") and a write signal ("<name>_event"),
// for other programs of the suite to find by name. On Linux the block is a POSIX shared-memory object
// "/<name>" and the two companions are POSIX named semaphores; all are created with mode 0600.
//
// Ownership: the process that creates the block while no live process owns it becomes its owner (it
// holds an exclusive lock on the block) and removes the names when it is destroyed. A later process that
// creates the same block while the owner lives only opens it; a block left behind by a killed owner is
// taken over and cleared. Not thread-safe; failures are reported by the results (and one log line).
class SharedMemory {
public:
    SharedMemory();
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates (create true) or opens (create false) the block and maps all of it.
    bool create(const std::wstring& name, uint32_t size, bool create);
    // Copies the bytes to the start of the block under the writer lock (waiting at most 100 ms) and
    // signals the write. False without a mapped block, for a length above the block size, or when the
    // lock could not be had in time; the block is then unchanged.
    bool write(const void* data, size_t length);

    bool isOwner() const { return m_owner; }

private:
    std::string posixName(const char* suffix) const;
    void close();

    std::wstring m_name;
    uint32_t m_size = 0;
    int m_mapping = -1;
    sem_t* m_writeEvent = SEM_FAILED;
    sem_t* m_writeLock = SEM_FAILED;
    void* m_view = nullptr;
    bool m_owner = false;
};
