#pragma once

// The reference-counted object model of the capture graph. Every object counts its references with an
// atomic counter and deletes itself when the count reaches zero; `ComPtr` holds one counted reference.
// Interfaces have no virtual destructor: only the object itself deletes itself, from Release.

#include <capture/guid.h>
#include <capture/hresult.h>

#include <cstddef>
#include <cstdlib>
#include <utility>

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Memory handed from one side of an interface to the other (identifiers, format blocks).
inline void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
inline void CoTaskMemFree(void* memory) { std::free(memory); }

// A counted reference. `put()` releases what is held and gives the address an out-parameter fills.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* object)
        : m_object(object)
    {
        if (m_object)
            m_object->AddRef();
    }
    ComPtr(const ComPtr& other)
        : ComPtr(other.m_object)
    {
    }
    ComPtr(ComPtr&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr))
    {
    }
    ~ComPtr() { reset(); }

    ComPtr& operator=(T* object)
    {
        ComPtr(object).swap(*this);
        return *this;
    }
    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).swap(*this);
        return *this;
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    operator T*() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    T** put()
    {
        reset();
        return &m_object;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // Takes over a reference the caller already owns.
    void attach(T* object)
    {
        reset();
        m_object = object;
    }
    T* detach() { return std::exchange(m_object, nullptr); }
    void reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->Release();
    }
    void swap(ComPtr& other) noexcept { std::swap(m_object, other.m_object); }

    // Asks the object for another interface.
    template <typename U> HRESULT as(REFIID iid, ComPtr<U>& out) const
    {
        if (!m_object)
            return E_POINTER;
        return m_object->QueryInterface(iid, out.putVoid());
    }

private:
    T* m_object = nullptr;
};
