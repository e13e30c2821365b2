#pragma once

// The sink at the end of every capture graph: a renderer filter with one input pin that hands each
// arriving sample, synchronously on the upstream streaming thread, to a callback. The pin accepts only the
// expected major type with a usable format block (one subtype, a non-empty picture) and follows format
// changes announced while connected.
//
// Every object counts its references and deletes itself at zero; the creator of a filter takes its first
// reference. The filter holds its pin and misc-flags object; the pin points back at the filter without a
// reference. Connections are made and dropped by the graph while stopped; Receive runs on the streaming
// thread and reads the state and flushing flags, which are atomic for that reason.

#include <capture/interfaces.h>

#include <atomic>
#include <functional>
#include <mutex>

namespace DShow {

using CaptureProc = std::function<void(IMediaSample* sample)>;

struct PinCaptureInfo {
    CaptureProc callback;
    GUID expectedMajorType;
    GUID expectedSubType;
};

class CaptureFilter;

class CapturePin : public IPin, public IMemInputPin {
public:
    CapturePin(CaptureFilter* filter, const PinCaptureInfo& info);

    // IUnknown, shared by both interfaces
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IPin
    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT QueryId(wchar_t** lpId) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IMemInputPin
    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, bool bReadOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) override;
    HRESULT ReceiveCanBlock() override;

    virtual ~CapturePin();

    bool IsConnected() const;
    // A copy of the connection media type (the expected major type alone while unconnected).
    AM_MEDIA_TYPE ConnectionType() const;

private:
    bool IsValidMediaType(const AM_MEDIA_TYPE* pmt) const;

    std::atomic<ULONG> refCount { 0 };
    const CaptureProc captureProc;
    const GUID expectedMajorType;
    const GUID expectedSubType;
    mutable std::mutex connectionMutex;
    ComPtr<IPin> connectedPin;
    CaptureFilter* const filter;
    AM_MEDIA_TYPE connectedMediaType;
    std::atomic<bool> flushing { false };
};

class MiscFlagsHandler : public IAMFilterMiscFlags {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    ULONG GetMiscFlags() override;

    virtual ~MiscFlagsHandler() = default;

private:
    std::atomic<ULONG> refCount { 0 };
};

class CaptureFilter : public IBaseFilter {
public:
    explicit CaptureFilter(const PinCaptureInfo& info);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IPersist
    HRESULT GetClassID(CLSID* pClsID) override;

    // IMediaFilter
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(uint32_t dwMSecs, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

    // IBaseFilter
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(const wchar_t* Id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, const wchar_t* pName) override;
    HRESULT QueryVendorInfo(wchar_t** pVendorInfo) override;

    virtual ~CaptureFilter();

    FILTER_STATE State() const { return state.load(); }
    IPin* GetPin() const { return pin; }

private:
    std::atomic<ULONG> refCount { 0 };
    std::atomic<FILTER_STATE> state { State_Stopped };
    std::mutex graphMutex;
    ComPtr<IFilterGraph> graph;
    ComPtr<CapturePin> pin;
    ComPtr<MiscFlagsHandler> miscFlags;
};

// The filter's one pin; starts with one reference, held by its creator.
class CaptureEnumPins : public IEnumPins {
public:
    CaptureEnumPins(CaptureFilter* filter, CaptureEnumPins* pEnum);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** ppEnum) override;

    virtual ~CaptureEnumPins() = default;

private:
    std::atomic<ULONG> refCount { 1 };
    ComPtr<CaptureFilter> filter;
    ULONG curPin = 0;
};

// The pin's connection media type; starts with one reference, held by its creator.
class CaptureEnumMediaTypes : public IEnumMediaTypes {
public:
    explicit CaptureEnumMediaTypes(CapturePin* pin);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

    virtual ~CaptureEnumMediaTypes() = default;

private:
    std::atomic<ULONG> refCount { 1 };
    ComPtr<CapturePin> pin;
    ULONG curMT = 0;
};

} // namespace DShow
