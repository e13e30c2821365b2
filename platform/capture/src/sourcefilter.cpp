#include "sourcefilter.h"

#include "enumerators.h"

#include <cstdlib>
#include <cstring>

namespace capture {
namespace {

    constexpr wchar_t kPinName[] = L"Capture";

    struct SubtypeLayout {
        GUID subtype;
        uint16_t bitCount;
    };

    constexpr SubtypeLayout kLayouts[] = {
        { MEDIASUBTYPE_I420, 12 },
        { MEDIASUBTYPE_IYUV, 12 },
        { MEDIASUBTYPE_YV12, 12 },
        { MEDIASUBTYPE_NV12, 12 },
        { MEDIASUBTYPE_Y800, 8 },
        { MEDIASUBTYPE_P010, 24 },
        { MEDIASUBTYPE_YUY2, 16 },
        { MEDIASUBTYPE_YVYU, 16 },
        { MEDIASUBTYPE_UYVY, 16 },
        { MEDIASUBTYPE_HDYC, 16 },
        { MEDIASUBTYPE_RGB24, 24 },
        { MEDIASUBTYPE_RGB32, 32 },
        { MEDIASUBTYPE_ARGB32, 32 },
        { MEDIASUBTYPE_MJPG, 16 },
        { MEDIASUBTYPE_H264, 16 },
    };

    uint16_t bitCount(const GUID& subtype)
    {
        for (const SubtypeLayout& layout : kLayouts) {
            if (layout.subtype == subtype)
                return layout.bitCount;
        }
        return 16;
    }

    bool isRgb(const GUID& subtype)
    {
        return subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32
            || subtype == MEDIASUBTYPE_ARGB32;
    }

    bool isCompressed(const GUID& subtype)
    {
        return subtype == MEDIASUBTYPE_MJPG || subtype == MEDIASUBTYPE_H264;
    }

    bool fitsRange(int value, int minimum, int maximum, int step)
    {
        if (value < minimum || value > maximum)
            return false;
        return step <= 1 || (value - minimum) % step == 0;
    }

} // namespace

size_t frameBytes(const GUID& subtype, int width, int height)
{
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(std::abs(height));
    if (isRgb(subtype))
        return ((w * bitCount(subtype) / 8 + 3) & ~size_t(3)) * h;
    if (subtype == MEDIASUBTYPE_P010)
        return w * h * 3;
    return w * h * bitCount(subtype) / 8;
}

bool rowsBottomUp(const AM_MEDIA_TYPE& type)
{
    const auto* info = type.formattype == FORMAT_VideoInfo ? type.formatAs<VIDEOINFOHEADER>() : nullptr;
    return info && isRgb(type.subtype) && info->bmiHeader.biHeight > 0;
}

AM_MEDIA_TYPE makeVideoType(const GUID& subtype, int width, int height, REFERENCE_TIME interval, bool bottomUp)
{
    height = std::abs(height);
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    type.bTemporalCompression = isCompressed(subtype);
    type.bFixedSizeSamples = !type.bTemporalCompression;
    type.lSampleSize = type.bFixedSizeSamples ? static_cast<ULONG>(frameBytes(subtype, width, height)) : 0;
    VIDEOINFOHEADER info {};
    info.rcSource = { 0, 0, width, height };
    info.rcTarget = info.rcSource;
    info.AvgTimePerFrame = interval;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = isRgb(subtype) && !bottomUp ? -height : height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount(subtype);
    info.bmiHeader.biCompression = isRgb(subtype) ? BI_RGB : subtype.Data1;
    info.bmiHeader.biSizeImage = static_cast<uint32_t>(frameBytes(subtype, width, height));
    if (interval > 0)
        info.dwBitRate = static_cast<uint32_t>(static_cast<uint64_t>(info.bmiHeader.biSizeImage) * 8
            * 10000000 / static_cast<uint64_t>(interval));
    type.setFormat(&info, sizeof info);
    return type;
}

SourceCapability makeCapability(const GUID& subtype, int minWidth, int minHeight, int maxWidth, int maxHeight,
    int stepWidth, int stepHeight, REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval)
{
    SourceCapability capability { makeVideoType(subtype, maxWidth, maxHeight, minInterval), {} };
    VIDEO_STREAM_CONFIG_CAPS& caps = capability.caps;
    caps.guid = FORMAT_VideoInfo;
    caps.InputSize = { maxWidth, maxHeight };
    caps.MinCroppingSize = { minWidth, minHeight };
    caps.MaxCroppingSize = { maxWidth, maxHeight };
    caps.CropGranularityX = stepWidth;
    caps.CropGranularityY = stepHeight;
    caps.CropAlignX = 1;
    caps.CropAlignY = 1;
    caps.MinOutputSize = { minWidth, minHeight };
    caps.MaxOutputSize = { maxWidth, maxHeight };
    caps.OutputGranularityX = stepWidth;
    caps.OutputGranularityY = stepHeight;
    caps.MinFrameInterval = minInterval;
    caps.MaxFrameInterval = maxInterval;
    return capability;
}

// The pin.

SourcePin::SourcePin(SourceFilter& filter)
    : m_filter(filter)
{
}

bool SourcePin::isConnected() const
{
    std::lock_guard lock(m_mutex);
    return m_connected;
}

bool SourcePin::connection(AM_MEDIA_TYPE& type, ComPtr<IMemInputPin>& input) const
{
    std::lock_guard lock(m_mutex);
    if (!m_connected || !m_input)
        return false;
    type = m_connectionType;
    input = m_input;
    return true;
}

void SourcePin::disconnectBoth()
{
    ComPtr<IPin> other;
    {
        std::lock_guard lock(m_mutex);
        other = m_connected;
    }
    if (other)
        other->Disconnect();
    Disconnect();
}

HRESULT SourcePin::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin)
        *object = static_cast<IPin*>(this);
    else if (iid == IID_IAMStreamConfig)
        *object = static_cast<IAMStreamConfig*>(this);
    else if (iid == IID_IKsPropertySet)
        *object = static_cast<IKsPropertySet*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG SourcePin::AddRef() { return m_filter.AddRef(); }

ULONG SourcePin::Release() { return m_filter.Release(); }

std::optional<AM_MEDIA_TYPE> SourcePin::producible(const AM_MEDIA_TYPE& type) const
{
    if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo)
        return std::nullopt;
    const auto* info = type.formatAs<VIDEOINFOHEADER>();
    if (!info)
        return std::nullopt;
    const int width = info->bmiHeader.biWidth;
    const int height = std::abs(info->bmiHeader.biHeight);
    for (const SourceCapability& capability : m_filter.capabilities()) {
        const VIDEO_STREAM_CONFIG_CAPS& caps = capability.caps;
        if (capability.type.subtype != type.subtype
            || !fitsRange(width, caps.MinOutputSize.cx, caps.MaxOutputSize.cx, caps.OutputGranularityX)
            || !fitsRange(height, caps.MinOutputSize.cy, caps.MaxOutputSize.cy, caps.OutputGranularityY))
            continue;
        REFERENCE_TIME interval = info->AvgTimePerFrame;
        if (interval <= 0)
            interval = caps.MinFrameInterval;
        if (interval < caps.MinFrameInterval || interval > caps.MaxFrameInterval)
            continue;
        return makeVideoType(type.subtype, width, height, interval, rowsBottomUp(type));
    }
    return std::nullopt;
}

std::vector<AM_MEDIA_TYPE> SourcePin::candidates(const AM_MEDIA_TYPE* wanted) const
{
    if (wanted && wanted->majortype != GUID_NULL && wanted->subtype != GUID_NULL && wanted->pbFormat) {
        if (auto type = producible(*wanted))
            return { *type };
        return {};
    }
    if (m_format)
        return { *m_format };
    std::vector<AM_MEDIA_TYPE> types;
    for (const SourceCapability& capability : m_filter.capabilities()) {
        if (wanted && wanted->majortype != GUID_NULL && wanted->majortype != capability.type.majortype)
            continue;
        if (wanted && wanted->subtype != GUID_NULL && wanted->subtype != capability.type.subtype)
            continue;
        types.push_back(capability.type);
    }
    return types;
}

HRESULT SourcePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (!receivePin)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (m_filter.state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    for (const AM_MEDIA_TYPE& candidate : candidates(type)) {
        if (receivePin->ReceiveConnection(this, &candidate) != S_OK)
            continue;
        ComPtr<IMemInputPin> input;
        if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, input.putVoid()))) {
            receivePin->Disconnect();
            continue;
        }
        m_connected = receivePin;
        m_input = input;
        m_connectionType = candidate;
        return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT SourcePin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

HRESULT SourcePin::Disconnect()
{
    std::lock_guard lock(m_mutex);
    if (!m_connected)
        return S_FALSE;
    m_connected.reset();
    m_input.reset();
    m_connectionType = AM_MEDIA_TYPE();
    return S_OK;
}

HRESULT SourcePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pin = m_connected;
    if (!*pin)
        return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

HRESULT SourcePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    *type = m_connectionType;
    return S_OK;
}

HRESULT SourcePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = &m_filter;
    m_filter.AddRef();
    info->dir = PINDIR_OUTPUT;
    copyName(info->achName, MAX_PIN_NAME, kPinName);
    return S_OK;
}

HRESULT SourcePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT SourcePin::QueryId(wchar_t** id)
{
    if (!id)
        return E_POINTER;
    *id = taskMemString(kPinName);
    return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT SourcePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    return producible(*type) ? S_OK : S_FALSE;
}

HRESULT SourcePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    std::vector<AM_MEDIA_TYPE> list;
    for (const SourceCapability& capability : m_filter.capabilities())
        list.push_back(capability.type);
    *types = new TypeListEnum(std::move(list));
    (*types)->AddRef();
    return S_OK;
}

HRESULT SourcePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT SourcePin::EndOfStream() { return E_UNEXPECTED; }

HRESULT SourcePin::BeginFlush() { return E_UNEXPECTED; }

HRESULT SourcePin::EndFlush() { return E_UNEXPECTED; }

HRESULT SourcePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT SourcePin::SetFormat(AM_MEDIA_TYPE* type)
{
    std::lock_guard lock(m_mutex);
    if (m_filter.state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!type) {
        m_format.reset();
        return S_OK;
    }
    auto format = producible(*type);
    if (!format)
        return VFW_E_INVALIDMEDIATYPE;
    m_format = std::move(format);
    return S_OK;
}

HRESULT SourcePin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (m_connected)
        *type = CreateMediaType(&m_connectionType);
    else if (m_format)
        *type = CreateMediaType(&*m_format);
    else if (!m_filter.capabilities().empty())
        *type = CreateMediaType(&m_filter.capabilities().front().type);
    else
        return VFW_E_NOT_FOUND;
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT SourcePin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = static_cast<int>(m_filter.capabilities().size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT SourcePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, uint8_t* caps)
{
    if (!type || !caps)
        return E_POINTER;
    const auto& capabilities = m_filter.capabilities();
    if (index < 0 || static_cast<size_t>(index) >= capabilities.size())
        return S_FALSE;
    *type = CreateMediaType(&capabilities[index].type);
    if (!*type)
        return E_OUTOFMEMORY;
    std::memcpy(caps, &capabilities[index].caps, sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return S_OK;
}

HRESULT SourcePin::Set(REFGUID, uint32_t, void*, uint32_t, void*, uint32_t) { return E_NOTIMPL; }

HRESULT SourcePin::Get(
    REFGUID set, uint32_t id, void*, uint32_t, void* data, uint32_t dataSize, uint32_t* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data)
        return E_POINTER;
    if (dataSize < sizeof(GUID))
        return E_INVALIDARG;
    std::memcpy(data, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    if (returned)
        *returned = sizeof(GUID);
    return S_OK;
}

HRESULT SourcePin::QuerySupported(REFGUID set, uint32_t id, uint32_t* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = 1; // get only
    return S_OK;
}

// The filter.

SourceFilter::SourceFilter(std::wstring name, std::vector<SourceCapability> capabilities)
    : m_name(std::move(name))
    , m_capabilities(std::move(capabilities))
    , m_pin(*this)
{
}

SourceFilter::~SourceFilter() = default;

void SourceFilter::shutDown()
{
    std::lock_guard lock(m_mutex);
    if (m_streaming) {
        stopStreaming();
        m_streaming = false;
    }
    m_state = State_Stopped;
    m_pin.disconnectBoth();
}

HRESULT SourceFilter::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter)
        *object = static_cast<IBaseFilter*>(this);
    else if (iid == IID_IKsPropertySet)
        *object = static_cast<IKsPropertySet*>(&m_ksControls);
    else if (iid == IID_IKsControl)
        *object = static_cast<IKsControl*>(&m_ksControls);
    else if (iid == IID_IKsTopologyInfo)
        *object = static_cast<IKsTopologyInfo*>(&m_ksControls);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG SourceFilter::AddRef() { return ++m_refs; }

ULONG SourceFilter::Release()
{
    const ULONG refs = --m_refs;
    if (!refs)
        delete this;
    return refs;
}

HRESULT SourceFilter::GetClassID(CLSID*) { return E_NOTIMPL; }

HRESULT SourceFilter::Stop()
{
    std::lock_guard lock(m_mutex);
    if (m_streaming) {
        stopStreaming();
        m_streaming = false;
    }
    m_state = State_Stopped;
    return S_OK;
}

HRESULT SourceFilter::Pause()
{
    std::lock_guard lock(m_mutex);
    if (m_streaming) {
        stopStreaming();
        m_streaming = false;
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT SourceFilter::Run(REFERENCE_TIME)
{
    std::lock_guard lock(m_mutex);
    if (m_state == State_Running)
        return S_OK;
    m_state = State_Paused;
    AM_MEDIA_TYPE type;
    ComPtr<IMemInputPin> input;
    if (m_pin.connection(type, input)) {
        const HRESULT hr = startStreaming(type, input);
        if (FAILED(hr))
            return hr;
        m_streaming = true;
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT SourceFilter::GetState(uint32_t, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

HRESULT SourceFilter::SetSyncSource(IReferenceClock*) { return S_OK; }

HRESULT SourceFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    *clock = nullptr;
    return S_OK;
}

HRESULT SourceFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    *pins = new PinListEnum({ ComPtr<IPin>(&m_pin) });
    (*pins)->AddRef();
    return S_OK;
}

HRESULT SourceFilter::FindPin(const wchar_t* id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    if (std::wcscmp(id, kPinName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &m_pin;
    m_pin.AddRef();
    return S_OK;
}

HRESULT SourceFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    copyName(info->achName, MAX_FILTER_NAME, m_graphName.empty() ? m_name.c_str() : m_graphName.c_str());
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT SourceFilter::JoinFilterGraph(IFilterGraph* graph, const wchar_t* name)
{
    std::lock_guard lock(m_mutex);
    m_graph = graph;
    m_graphName = graph && name ? name : L"";
    return S_OK;
}

HRESULT SourceFilter::QueryVendorInfo(wchar_t**) { return E_NOTIMPL; }

} // namespace capture
