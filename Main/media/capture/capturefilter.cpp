#include "media/capture/capturefilter.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace DShow {
namespace {

    constexpr wchar_t kFilterName[] = L"Capture Filter";
    constexpr wchar_t kPinId[] = L"Capture Pin";

    void copyName(wchar_t* field, size_t size, const wchar_t* name)
    {
        std::wcsncpy(field, name, size - 1);
        field[size - 1] = L'\0';
    }

} // namespace

// CapturePin

CapturePin::CapturePin(CaptureFilter* filter_, const PinCaptureInfo& info)
    : captureProc(info.callback)
    , expectedMajorType(info.expectedMajorType)
    , expectedSubType(info.expectedSubType)
    , filter(filter_)
{
    connectedMediaType.majortype = info.expectedMajorType;
}

CapturePin::~CapturePin() = default;

HRESULT CapturePin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
    } else if (riid == IID_IMemInputPin) {
        *ppv = static_cast<IMemInputPin*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CapturePin::AddRef() { return ++refCount; }

ULONG CapturePin::Release()
{
    const ULONG refs = --refCount;
    if (!refs)
        delete this;
    return refs;
}

bool CapturePin::IsConnected() const
{
    std::lock_guard lock(connectionMutex);
    return connectedPin;
}

AM_MEDIA_TYPE CapturePin::ConnectionType() const
{
    std::lock_guard lock(connectionMutex);
    return connectedMediaType;
}

bool CapturePin::IsValidMediaType(const AM_MEDIA_TYPE* pmt) const
{
    if (!pmt->pbFormat)
        return true;
    if (pmt->subtype != expectedSubType || pmt->majortype != expectedMajorType)
        return false;
    if (expectedMajorType != MEDIATYPE_Video)
        return true;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(*pmt);
    return header && header->biWidth != 0 && header->biHeight != 0;
}

HRESULT CapturePin::Connect(IPin*, const AM_MEDIA_TYPE* pmt)
{
    if (filter->State() == State_Running)
        return VFW_E_NOT_STOPPED;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (!pmt || pmt->majortype == GUID_NULL)
        return S_OK;
    if (pmt->majortype != expectedMajorType)
        return S_FALSE;
    return IsValidMediaType(pmt) ? S_OK : S_FALSE;
}

HRESULT CapturePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!pConnector || !pmt)
        return E_POINTER;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (QueryAccept(pmt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;

    std::lock_guard lock(connectionMutex);
    connectedPin = pConnector;
    connectedMediaType = *pmt;
    return S_OK;
}

HRESULT CapturePin::Disconnect()
{
    ComPtr<IPin> released;
    std::lock_guard lock(connectionMutex);
    if (!connectedPin)
        return S_FALSE;
    // Dropped outside the lock: the last reference may take the upstream filter with it.
    released = std::move(connectedPin);
    return S_OK;
}

HRESULT CapturePin::ConnectedTo(IPin** pPin)
{
    if (!pPin)
        return E_POINTER;
    std::lock_guard lock(connectionMutex);
    *pPin = connectedPin;
    if (!*pPin)
        return VFW_E_NOT_CONNECTED;
    (*pPin)->AddRef();
    return S_OK;
}

HRESULT CapturePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard lock(connectionMutex);
    if (!connectedPin)
        return VFW_E_NOT_CONNECTED;
    *pmt = connectedMediaType;
    return S_OK;
}

HRESULT CapturePin::QueryPinInfo(PIN_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    pInfo->pFilter = filter;
    filter->AddRef();
    pInfo->dir = PINDIR_INPUT;
    copyName(pInfo->achName, MAX_PIN_NAME,
        expectedMajorType == MEDIATYPE_Video ? L"Video Capture" : L"Audio Capture");
    return S_OK;
}

HRESULT CapturePin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = PINDIR_INPUT;
    return S_OK;
}

HRESULT CapturePin::QueryId(wchar_t** lpId)
{
    if (!lpId)
        return E_POINTER;
    const size_t bytes = sizeof kPinId;
    *lpId = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (!*lpId)
        return E_OUTOFMEMORY;
    std::memcpy(*lpId, kPinId, bytes);
    return S_OK;
}

HRESULT CapturePin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    if (pmt->majortype != expectedMajorType)
        return S_FALSE;
    if (!IsValidMediaType(pmt))
        return S_FALSE;

    // A format change announced while connected.
    std::lock_guard lock(connectionMutex);
    if (connectedPin)
        connectedMediaType = *pmt;
    return S_OK;
}

HRESULT CapturePin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new (std::nothrow) CaptureEnumMediaTypes(this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CapturePin::EndOfStream() { return S_OK; }

HRESULT CapturePin::BeginFlush()
{
    flushing = true;
    return S_OK;
}

HRESULT CapturePin::EndFlush()
{
    flushing = false;
    return S_OK;
}

HRESULT CapturePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT CapturePin::GetAllocator(IMemAllocator**) { return VFW_E_NO_ALLOCATOR; }

HRESULT CapturePin::NotifyAllocator(IMemAllocator*, bool) { return S_OK; }

HRESULT CapturePin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CapturePin::Receive(IMediaSample* pSample)
{
    if (flushing)
        return S_FALSE;
    if (pSample && captureProc)
        captureProc(pSample);
    return S_OK;
}

HRESULT CapturePin::ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed)
{
    if (flushing)
        return S_FALSE;
    if (pSamples) {
        for (long i = 0; i < nSamples; ++i) {
            if (pSamples[i] && captureProc)
                captureProc(pSamples[i]);
        }
    }
    if (nSamplesProcessed)
        *nSamplesProcessed = nSamples;
    return S_OK;
}

HRESULT CapturePin::ReceiveCanBlock() { return S_FALSE; }

// MiscFlagsHandler

HRESULT MiscFlagsHandler::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG MiscFlagsHandler::AddRef() { return ++refCount; }

ULONG MiscFlagsHandler::Release()
{
    const ULONG refs = --refCount;
    if (!refs)
        delete this;
    return refs;
}

ULONG MiscFlagsHandler::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

// CaptureFilter

CaptureFilter::CaptureFilter(const PinCaptureInfo& info)
    : pin(new CapturePin(this, info))
    , miscFlags(new MiscFlagsHandler)
{
}

CaptureFilter::~CaptureFilter() = default;

HRESULT CaptureFilter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter) {
        *ppv = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IAMFilterMiscFlags) {
        *ppv = static_cast<IAMFilterMiscFlags*>(miscFlags.get());
        miscFlags->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureFilter::AddRef() { return ++refCount; }

ULONG CaptureFilter::Release()
{
    const ULONG refs = --refCount;
    if (!refs)
        delete this;
    return refs;
}

HRESULT CaptureFilter::GetClassID(CLSID*) { return E_NOTIMPL; }

HRESULT CaptureFilter::Stop()
{
    state = State_Stopped;
    return S_OK;
}

HRESULT CaptureFilter::Pause()
{
    state = State_Paused;
    return S_OK;
}

HRESULT CaptureFilter::Run(REFERENCE_TIME)
{
    state = State_Running;
    return S_OK;
}

HRESULT CaptureFilter::GetState(uint32_t, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    *State = state;
    return S_OK;
}

HRESULT CaptureFilter::SetSyncSource(IReferenceClock*) { return S_OK; }

HRESULT CaptureFilter::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    *pClock = nullptr;
    return S_OK;
}

HRESULT CaptureFilter::EnumPins(IEnumPins** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new (std::nothrow) CaptureEnumPins(this, nullptr);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CaptureFilter::FindPin(const wchar_t* Id, IPin** ppPin)
{
    if (!Id || !ppPin)
        return E_POINTER;
    if (std::wcscmp(Id, kPinId) == 0) {
        *ppPin = pin;
        (*ppPin)->AddRef();
        return S_OK;
    }
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT CaptureFilter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    copyName(pInfo->achName, MAX_FILTER_NAME, kFilterName);
    std::lock_guard lock(graphMutex);
    pInfo->pGraph = graph;
    if (pInfo->pGraph)
        pInfo->pGraph->AddRef();
    return S_OK;
}

HRESULT CaptureFilter::JoinFilterGraph(IFilterGraph* pGraph, const wchar_t*)
{
    ComPtr<IFilterGraph> previous;
    std::lock_guard lock(graphMutex);
    previous = std::move(graph);
    graph = pGraph;
    return S_OK;
}

HRESULT CaptureFilter::QueryVendorInfo(wchar_t**) { return E_NOTIMPL; }

// CaptureEnumPins

CaptureEnumPins::CaptureEnumPins(CaptureFilter* filter_, CaptureEnumPins* pEnum)
    : filter(filter_)
    , curPin(pEnum ? pEnum->curPin : 0)
{
}

HRESULT CaptureEnumPins::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
        *ppv = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureEnumPins::AddRef() { return ++refCount; }

ULONG CaptureEnumPins::Release()
{
    const ULONG refs = --refCount;
    if (!refs)
        delete this;
    return refs;
}

HRESULT CaptureEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched)
{
    ULONG fetched = 0;
    if (curPin == 0 && cPins > 0) {
        if (!ppPins)
            return E_POINTER;
        IPin* pin = filter->GetPin();
        pin->AddRef();
        ppPins[0] = pin;
        fetched = 1;
        ++curPin;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CaptureEnumPins::Skip(ULONG cPins)
{
    curPin += cPins;
    return curPin > 1 ? S_FALSE : S_OK;
}

HRESULT CaptureEnumPins::Reset()
{
    curPin = 0;
    return S_OK;
}

HRESULT CaptureEnumPins::Clone(IEnumPins** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new (std::nothrow) CaptureEnumPins(filter, this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

// CaptureEnumMediaTypes

CaptureEnumMediaTypes::CaptureEnumMediaTypes(CapturePin* pin_)
    : pin(pin_)
{
}

HRESULT CaptureEnumMediaTypes::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
        *ppv = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureEnumMediaTypes::AddRef() { return ++refCount; }

ULONG CaptureEnumMediaTypes::Release()
{
    const ULONG refs = --refCount;
    if (!refs)
        delete this;
    return refs;
}

HRESULT CaptureEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched)
{
    ULONG fetched = 0;
    if (curMT == 0 && cMediaTypes > 0) {
        if (!ppMediaTypes)
            return E_POINTER;
        const AM_MEDIA_TYPE type = pin->ConnectionType();
        ppMediaTypes[0] = CreateMediaType(&type);
        if (!ppMediaTypes[0])
            return E_OUTOFMEMORY;
        fetched = 1;
        ++curMT;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cMediaTypes ? S_OK : S_FALSE;
}

HRESULT CaptureEnumMediaTypes::Skip(ULONG cMediaTypes)
{
    curMT += cMediaTypes;
    return curMT > 1 ? S_FALSE : S_OK;
}

HRESULT CaptureEnumMediaTypes::Reset()
{
    curMT = 0;
    return S_OK;
}

HRESULT CaptureEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new (std::nothrow) CaptureEnumMediaTypes(pin);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

} // namespace DShow
