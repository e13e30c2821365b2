// The system device enumerator over the camera catalog, its monikers and property bags, and the class
// factory of the graph objects.
#include "graphobjects.h"

#include "enumerators.h"

namespace capture {
namespace {

    class PropertyBag final : public IPropertyBag {
    public:
        explicit PropertyBag(const DeviceEntry& entry)
            : m_name(entry.friendlyName)
            , m_path(entry.devicePath)
        {
        }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
                *object = static_cast<IPropertyBag*>(this);
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

        HRESULT Read(const wchar_t* name, VARIANT* value, void*) override
        {
            if (!name || !value)
                return E_POINTER;
            const std::wstring key = name;
            const std::wstring* text = key == L"FriendlyName" ? &m_name
                : key == L"DevicePath"                        ? &m_path
                                                              : nullptr;
            if (!text || text->empty())
                return E_INVALIDARG;
            value->vt = VT_BSTR;
            value->bstrVal = *text;
            return S_OK;
        }
        HRESULT Write(const wchar_t*, const VARIANT*) override { return E_NOTIMPL; }

    private:
        ~PropertyBag() = default;
        std::atomic<ULONG> m_refs { 0 };
        std::wstring m_name;
        std::wstring m_path;
    };

    class DeviceMoniker final : public IMoniker {
    public:
        explicit DeviceMoniker(DeviceEntry entry)
            : m_entry(std::move(entry))
        {
        }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IMoniker) {
                *object = static_cast<IMoniker*>(this);
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

        HRESULT BindToObject(void*, IMoniker*, REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            *object = nullptr;
            if (!m_entry.createFilter)
                return E_FAIL;
            ComPtr<IBaseFilter> filter;
            const HRESULT hr = m_entry.createFilter(filter.put());
            if (FAILED(hr))
                return hr;
            if (!filter)
                return E_FAIL;
            return filter->QueryInterface(iid, object);
        }
        HRESULT BindToStorage(void*, IMoniker*, REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid != IID_IPropertyBag) {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            auto* bag = new PropertyBag(m_entry);
            bag->AddRef();
            *object = static_cast<IPropertyBag*>(bag);
            return S_OK;
        }

    private:
        ~DeviceMoniker() = default;
        std::atomic<ULONG> m_refs { 0 };
        DeviceEntry m_entry;
    };

} // namespace

HRESULT SystemDeviceEnum::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICreateDevEnum) {
        *object = static_cast<ICreateDevEnum*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SystemDeviceEnum::AddRef() { return ++m_refs; }

ULONG SystemDeviceEnum::Release()
{
    const ULONG refs = --m_refs;
    if (!refs)
        delete this;
    return refs;
}

HRESULT SystemDeviceEnum::CreateClassEnumerator(REFCLSID category, IEnumMoniker** devices, uint32_t)
{
    if (!devices)
        return E_POINTER;
    *devices = nullptr;
    std::vector<ComPtr<IMoniker>> monikers;
    for (DeviceEntry& entry : listDevices(category))
        monikers.emplace_back(new DeviceMoniker(std::move(entry)));
    if (monikers.empty())
        return S_FALSE;
    *devices = new MonikerListEnum(std::move(monikers));
    (*devices)->AddRef();
    return S_OK;
}

} // namespace capture

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, uint32_t, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return E_NOINTERFACE; // no aggregation
    ComPtr<IUnknown> created;
    if (classId == CLSID_FilterGraph)
        created = static_cast<IGraphBuilder*>(new capture::FilterGraph);
    else if (classId == CLSID_CaptureGraphBuilder2)
        created = new capture::CaptureGraphBuilder;
    else if (classId == CLSID_SystemDeviceEnum)
        created = new capture::SystemDeviceEnum;
    else
        return REGDB_E_CLASSNOTREG;
    return created->QueryInterface(iid, object);
}
