#pragma once

#include <bridge/abstract_sharemem.h>

#include <cstddef>
#include <map>
#include <string>

namespace bg {

// POSIX shared memory (shm_open, mode 0600). The process that creates an object owns it: it holds an
// exclusive lock on the object while it has it, and unlinks the name when it closes. A name left behind
// by an owner that crashed (no lock held) is taken over by the next create.
class BG_API Share_Mem : public Abstract_ShareMem {
public:
    Share_Mem() = default;
    ~Share_Mem() override;
    Share_Mem(const Share_Mem&) = delete;
    Share_Mem& operator=(const Share_Mem&) = delete;

    int create(const char* name, unsigned int size) override;
    int open(const char* name, const char* mode) override;
    void close() override;
    int state() const override;
    const char* state_text() const override;
    unsigned int size() const override;
    void* map() override;
    void unmap(void* view) override;

private:
    bool alreadyHeld() const;
    int attachExisting(const char* name, unsigned int size);
    int publish(const char* name, unsigned int size);

    int m_handle = -1;
    int m_state = StateNone;
    unsigned int m_size = 0;
    // Opened without 'w': views are read-only.
    bool m_readOnly = false;
    // Set while this object owns the name and must unlink it on close.
    std::string m_ownedName;
    // Length of each view this object mapped, for unmap (views outlive close).
    std::map<void*, size_t> m_views;
};

} // namespace bg
