#pragma once

// Enumerators over a snapshot: of counted objects (pins, filters, monikers) and of media types.

#include <capture/interfaces.h>

#include <atomic>
#include <cwchar>
#include <vector>

namespace capture {

template <typename Interface, typename Item, const IID& kIid> class ObjectListEnum final : public Interface {
public:
    explicit ObjectListEnum(std::vector<ComPtr<Item>> items, size_t position = 0)
        : m_items(std::move(items))
        , m_position(position)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == kIid) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }

    HRESULT Next(ULONG count, Item** items, ULONG* fetched) override
    {
        if (!items)
            return E_POINTER;
        ULONG got = 0;
        while (got < count && m_position < m_items.size()) {
            items[got] = m_items[m_position++];
            items[got]->AddRef();
            ++got;
        }
        if (fetched)
            *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        m_position += count;
        if (m_position > m_items.size()) {
            m_position = m_items.size();
            return S_FALSE;
        }
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(Interface** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = new ObjectListEnum(m_items, m_position);
        (*clone)->AddRef();
        return S_OK;
    }

private:
    ~ObjectListEnum() = default;

    std::atomic<ULONG> m_refs { 0 };
    std::vector<ComPtr<Item>> m_items;
    size_t m_position;
};

using PinListEnum = ObjectListEnum<IEnumPins, IPin, IID_IEnumPins>;
using FilterListEnum = ObjectListEnum<IEnumFilters, IBaseFilter, IID_IEnumFilters>;
using MonikerListEnum = ObjectListEnum<IEnumMoniker, IMoniker, IID_IEnumMoniker>;

class TypeListEnum final : public IEnumMediaTypes {
public:
    explicit TypeListEnum(std::vector<AM_MEDIA_TYPE> types, size_t position = 0)
        : m_types(std::move(types))
        , m_position(position)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes) {
            *object = static_cast<IEnumMediaTypes*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }

    HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override
    {
        if (!types)
            return E_POINTER;
        ULONG got = 0;
        while (got < count && m_position < m_types.size()) {
            types[got] = CreateMediaType(&m_types[m_position]);
            if (!types[got])
                break;
            ++m_position;
            ++got;
        }
        if (fetched)
            *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        m_position += count;
        if (m_position > m_types.size()) {
            m_position = m_types.size();
            return S_FALSE;
        }
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumMediaTypes** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = new TypeListEnum(m_types, m_position);
        (*clone)->AddRef();
        return S_OK;
    }

private:
    ~TypeListEnum() = default;

    std::atomic<ULONG> m_refs { 0 };
    std::vector<AM_MEDIA_TYPE> m_types;
    size_t m_position;
};

// Copies a name into a fixed field, cut to fit and terminated.
inline void copyName(wchar_t* field, size_t size, const wchar_t* name)
{
    std::wcsncpy(field, name ? name : L"", size - 1);
    field[size - 1] = L'\0';
}

// A CoTaskMemAlloc copy of the text; null when out of memory.
inline wchar_t* taskMemString(const wchar_t* text)
{
    const size_t length = std::wcslen(text) + 1;
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(length * sizeof(wchar_t)));
    if (copy)
        std::wmemcpy(copy, text, length);
    return copy;
}

} // namespace capture
