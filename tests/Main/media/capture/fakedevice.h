#pragma once

// A device filter for tests, described by data: its name and its pins, each with a direction, a name, a
// pin category and a list of (media type, capability block or none). A pin may answer E_NOTIMPL to
// GetNumberOfCapabilities, as some drivers do. Pins count their references on the filter.

#include <capture/interfaces.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace fakedevice {

struct Entry {
    AM_MEDIA_TYPE type;
    std::optional<VIDEO_STREAM_CONFIG_CAPS> caps;
};

struct PinSpec {
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    std::wstring name = L"Capture";
    std::optional<GUID> category = PIN_CATEGORY_CAPTURE;
    std::vector<Entry> entries;
    bool capabilitiesNotImplemented = false;
    // What GetNumberOfCapabilities reports as the block size (GetStreamCaps writes no more).
    int capsSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
};

inline AM_MEDIA_TYPE videoType(const GUID& subtype, int width, int height, REFERENCE_TIME interval,
    uint32_t compression = 0, const GUID& formatType = FORMAT_VideoInfo)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = formatType;
    BITMAPINFOHEADER header {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biCompression = compression ? compression : subtype.Data1;
    if (formatType == FORMAT_VideoInfo2) {
        VIDEOINFOHEADER2 info {};
        info.AvgTimePerFrame = interval;
        info.bmiHeader = header;
        type.setFormat(&info, sizeof info);
    } else {
        VIDEOINFOHEADER info {};
        info.AvgTimePerFrame = interval;
        info.bmiHeader = header;
        type.setFormat(&info, sizeof info);
    }
    return type;
}

inline VIDEO_STREAM_CONFIG_CAPS capsBlock(int minW, int minH, int maxW, int maxH, int stepW, int stepH,
    REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval)
{
    VIDEO_STREAM_CONFIG_CAPS caps {};
    caps.guid = FORMAT_VideoInfo;
    caps.MinOutputSize = { minW, minH };
    caps.MaxOutputSize = { maxW, maxH };
    caps.OutputGranularityX = stepW;
    caps.OutputGranularityY = stepH;
    caps.MinFrameInterval = minInterval;
    caps.MaxFrameInterval = maxInterval;
    return caps;
}

class Filter;

class Pin final : public IPin, public IAMStreamConfig, public IKsPropertySet {
public:
    Pin(Filter& filter, PinSpec spec)
        : m_filter(filter)
        , m_spec(std::move(spec))
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IPin)
            *object = static_cast<IPin*>(this);
        else if (iid == IID_IAMStreamConfig && m_spec.direction == PINDIR_OUTPUT)
            *object = static_cast<IAMStreamConfig*>(this);
        else if (iid == IID_IKsPropertySet && m_spec.category)
            *object = static_cast<IKsPropertySet*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE*) override
    {
        if (m_connected)
            return VFW_E_ALREADY_CONNECTED;
        for (const Entry& entry : m_spec.entries) {
            if (receivePin->ReceiveConnection(this, &entry.type) == S_OK) {
                m_connected = receivePin;
                return S_OK;
            }
        }
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE*) override
    {
        if (m_connected)
            return VFW_E_ALREADY_CONNECTED;
        m_connected = connector;
        return S_OK;
    }
    HRESULT Disconnect() override
    {
        if (!m_connected)
            return S_FALSE;
        m_connected.reset();
        return S_OK;
    }
    HRESULT ConnectedTo(IPin** pin) override
    {
        *pin = m_connected;
        if (!*pin)
            return VFW_E_NOT_CONNECTED;
        (*pin)->AddRef();
        return S_OK;
    }
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override
    {
        *direction = m_spec.direction;
        return S_OK;
    }
    HRESULT QueryId(wchar_t**) override { return E_NOTIMPL; }
    HRESULT QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT EndOfStream() override { return S_OK; }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    HRESULT SetFormat(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT GetFormat(AM_MEDIA_TYPE**) override { return E_NOTIMPL; }
    HRESULT GetNumberOfCapabilities(int* count, int* size) override
    {
        if (m_spec.capabilitiesNotImplemented)
            return E_NOTIMPL;
        *count = static_cast<int>(m_spec.entries.size());
        *size = m_spec.capsSize;
        return S_OK;
    }
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, uint8_t* caps) override
    {
        ++m_streamCapsCalls;
        if (index < 0 || static_cast<size_t>(index) >= m_spec.entries.size())
            return S_FALSE;
        const Entry& entry = m_spec.entries[static_cast<size_t>(index)];
        *type = CreateMediaType(&entry.type);
        const VIDEO_STREAM_CONFIG_CAPS block = entry.caps.value_or(VIDEO_STREAM_CONFIG_CAPS {});
        std::memcpy(caps, &block, std::min<size_t>(sizeof block, static_cast<size_t>(m_spec.capsSize)));
        return S_OK;
    }

    HRESULT Set(REFGUID, uint32_t, void*, uint32_t, void*, uint32_t) override { return E_NOTIMPL; }
    HRESULT Get(
        REFGUID set, uint32_t id, void*, uint32_t, void* data, uint32_t size, uint32_t* returned) override
    {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY || size < sizeof(GUID))
            return E_PROP_SET_UNSUPPORTED;
        std::memcpy(data, &*m_spec.category, sizeof(GUID));
        *returned = sizeof(GUID);
        return S_OK;
    }
    HRESULT QuerySupported(REFGUID, uint32_t, uint32_t*) override { return E_NOTIMPL; }

    int streamCapsCalls() const { return m_streamCapsCalls; }

private:
    Filter& m_filter;
    PinSpec m_spec;
    int m_streamCapsCalls = 0;
    ComPtr<IPin> m_connected;
};

class Filter final : public IBaseFilter {
public:
    Filter(std::wstring name, std::vector<PinSpec> pins, bool refuseToLeave = false)
        : m_name(std::move(name))
        , m_refuseToLeave(refuseToLeave)
    {
        for (PinSpec& spec : pins)
            m_pins.push_back(new Pin(*this, std::move(spec)));
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
            *object = static_cast<IBaseFilter*>(this);
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
    HRESULT GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT Stop() override { return S_OK; }
    HRESULT Pause() override { return S_OK; }
    HRESULT Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT GetState(uint32_t, FILTER_STATE* state) override
    {
        *state = State_Stopped;
        return S_OK;
    }
    HRESULT SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT GetSyncSource(IReferenceClock** clock) override
    {
        *clock = nullptr;
        return S_OK;
    }
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const wchar_t*, IPin**) override { return E_NOTIMPL; }
    HRESULT QueryFilterInfo(FILTER_INFO* info) override
    {
        std::wcsncpy(info->achName, m_name.c_str(), MAX_FILTER_NAME - 1);
        info->achName[MAX_FILTER_NAME - 1] = 0;
        info->pGraph = nullptr;
        return S_OK;
    }
    // A filter that refuses to leave its graph, as a broken driver might.
    HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t*) override
    {
        return !graph && m_refuseToLeave ? E_FAIL : S_OK;
    }
    HRESULT QueryVendorInfo(wchar_t**) override { return E_NOTIMPL; }

    const std::wstring& name() const { return m_name; }
    Pin* pin(size_t index) { return m_pins.at(index); }

private:
    ~Filter()
    {
        for (Pin* pin : m_pins)
            delete pin;
    }

    std::atomic<ULONG> m_refs { 0 };
    std::wstring m_name;
    bool m_refuseToLeave;
    std::vector<Pin*> m_pins;
};

// Enumerators over a snapshot.
template <typename Interface, typename Item> class ListEnum : public Interface {
public:
    virtual ~ListEnum() = default;
    explicit ListEnum(std::vector<Item> items)
        : m_items(std::move(items))
    {
    }
    HRESULT QueryInterface(REFIID, void** object) override
    {
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
    HRESULT Skip(ULONG n) override
    {
        m_position += n;
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(Interface**) override { return E_NOTIMPL; }

protected:
    std::atomic<ULONG> m_refs { 0 };
    std::vector<Item> m_items;
    size_t m_position = 0;
};

class PinEnum final : public ListEnum<IEnumPins, IPin*> {
public:
    using ListEnum::ListEnum;
    HRESULT Next(ULONG n, IPin** pins, ULONG* fetched) override
    {
        ULONG got = 0;
        for (; got < n && m_position < m_items.size(); ++got) {
            pins[got] = m_items[m_position++];
            pins[got]->AddRef();
        }
        if (fetched)
            *fetched = got;
        return got == n ? S_OK : S_FALSE;
    }
};

class TypeEnum final : public ListEnum<IEnumMediaTypes, AM_MEDIA_TYPE> {
public:
    using ListEnum::ListEnum;
    HRESULT Next(ULONG n, AM_MEDIA_TYPE** types, ULONG* fetched) override
    {
        ULONG got = 0;
        for (; got < n && m_position < m_items.size(); ++got)
            types[got] = CreateMediaType(&m_items[m_position++]);
        if (fetched)
            *fetched = got;
        return got == n ? S_OK : S_FALSE;
    }
};

inline ULONG Pin::AddRef() { return m_filter.AddRef(); }
inline ULONG Pin::Release() { return m_filter.Release(); }

inline HRESULT Pin::QueryPinInfo(PIN_INFO* info)
{
    info->pFilter = &m_filter;
    m_filter.AddRef();
    info->dir = m_spec.direction;
    std::wcsncpy(info->achName, m_spec.name.c_str(), MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

inline HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** types)
{
    std::vector<AM_MEDIA_TYPE> list;
    for (const Entry& entry : m_spec.entries)
        list.push_back(entry.type);
    *types = new TypeEnum(std::move(list));
    (*types)->AddRef();
    return S_OK;
}

inline HRESULT Filter::EnumPins(IEnumPins** pins)
{
    std::vector<IPin*> list(m_pins.begin(), m_pins.end());
    *pins = new PinEnum(std::move(list));
    (*pins)->AddRef();
    return S_OK;
}

// A new filter, referenced once for the caller.
inline HRESULT create(
    const std::wstring& name, std::vector<PinSpec> pins, IBaseFilter** filter, bool refuseToLeave = false)
{
    *filter = new Filter(name, std::move(pins), refuseToLeave);
    (*filter)->AddRef();
    return S_OK;
}

} // namespace fakedevice
