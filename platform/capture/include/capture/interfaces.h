#pragma once

// The interfaces of the capture graph: filters, pins, samples, enumerators, stream configuration,
// property sets and bags, device monikers, the graph with its media control and the capture graph
// builder. Each method reports by its result code; out-pointers of interfaces come back referenced.

#include <capture/mediatype.h>

#include <cstdint>
#include <string>

struct IBaseFilter;
struct IEnumFilters;
struct IEnumMediaTypes;
struct IEnumPins;
struct IFilterGraph;
struct IMediaSample;
struct IMemAllocator;
struct IPin;
struct IReferenceClock;

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

inline constexpr int MAX_FILTER_NAME = 128;
inline constexpr int MAX_PIN_NAME = 128;

struct FILTER_INFO {
    wchar_t achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph; // referenced when set
};

struct PIN_INFO {
    IBaseFilter* pFilter; // referenced when set
    PIN_DIRECTION dir;
    wchar_t achName[MAX_PIN_NAME];
};

struct ALLOCATOR_PROPERTIES {
    long cBuffers;
    long cbBuffer;
    long cbAlign;
    long cbPrefix;
};

struct IReferenceClock : IUnknown {
    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

struct IMemAllocator : IUnknown {
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* classId) = 0;
};

struct IMediaFilter : IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT GetState(uint32_t timeoutMs, FILTER_STATE* state) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(const wchar_t* id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t* name) = 0;
    virtual HRESULT QueryVendorInfo(wchar_t** vendorInfo) = 0;
};

struct IPin : IUnknown {
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    // The id in memory from CoTaskMemAlloc, freed by the caller.
    virtual HRESULT QueryId(wchar_t** id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
    virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IMemInputPin : IUnknown {
    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** clone) = 0;
};

// Next hands out heap copies that the receiver frees with DeleteMediaType.
struct IEnumMediaTypes : IUnknown {
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** clone) = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** clone) = 0;
};

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(uint8_t** buffer) = 0;
    virtual long GetSize() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(bool syncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(bool preroll) = 0;
    virtual long GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(long length) = 0;
    // S_OK with a heap copy (DeleteMediaType) when the type changed with this sample, else S_FALSE.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(bool discontinuity) = 0;
    virtual HRESULT GetMediaTime(int64_t* start, int64_t* stop) = 0;
    virtual HRESULT SetMediaTime(int64_t* start, int64_t* stop) = 0;
};

struct IAMStreamConfig : IUnknown {
    virtual HRESULT SetFormat(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT GetFormat(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT GetNumberOfCapabilities(int* count, int* size) = 0;
    // `caps` receives the capability block (VIDEO_STREAM_CONFIG_CAPS for video) of the reported size.
    virtual HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, uint8_t* caps) = 0;
};

inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

struct IAMFilterMiscFlags : IUnknown {
    virtual ULONG GetMiscFlags() = 0;
};

inline constexpr HRESULT E_PROP_SET_UNSUPPORTED = MakeResult(0x80070492);
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = MakeResult(0x80070490);

struct IKsPropertySet : IUnknown {
    virtual HRESULT Set(
        REFGUID set, uint32_t id, void* instance, uint32_t instanceSize, void* data, uint32_t dataSize)
        = 0;
    virtual HRESULT Get(REFGUID set, uint32_t id, void* instance, uint32_t instanceSize, void* data,
        uint32_t dataSize, uint32_t* returned)
        = 0;
    virtual HRESULT QuerySupported(REFGUID set, uint32_t id, uint32_t* support) = 0;
};

// The property values a device's bag holds: text ("FriendlyName", "DevicePath") or a number ("WaveInId").
enum VARTYPE { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8 };
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    std::wstring bstrVal;
    int32_t lVal = 0;
};

struct IPropertyBag : IUnknown {
    virtual HRESULT Read(const wchar_t* name, VARIANT* value, void* errorLog) = 0;
    virtual HRESULT Write(const wchar_t* name, const VARIANT* value) = 0;
};

// A device of a category: its property bag (BindToStorage, IID_IPropertyBag) and its filter
// (BindToObject, IID_IBaseFilter).
struct IMoniker : IUnknown {
    virtual HRESULT BindToObject(void* context, IMoniker* left, REFIID iid, void** object) = 0;
    virtual HRESULT BindToStorage(void* context, IMoniker* left, REFIID iid, void** object) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** clone) = 0;
};

// S_FALSE with a null enumerator when the category has no device.
struct ICreateDevEnum : IUnknown {
    virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** devices, uint32_t flags) = 0;
};

struct IFilterGraph : IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* filter, const wchar_t* name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(const wchar_t* name, IBaseFilter** filter) = 0;
    virtual HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : IFilterGraph {
    virtual HRESULT Connect(IPin* output, IPin* input) = 0;
    virtual HRESULT Render(IPin* output) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(long timeoutMs, long* state) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

inline constexpr GUID LOOK_UPSTREAM_ONLY { 0xac798be0, 0x98e3, 0x11d1,
    { 0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5 } };
inline constexpr GUID LOOK_DOWNSTREAM_ONLY { 0xac798be1, 0x98e3, 0x11d1,
    { 0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5 } };

struct ICaptureGraphBuilder2 : IUnknown {
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    virtual HRESULT FindInterface(
        const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object)
        = 0;
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
        IBaseFilter* intermediate, IBaseFilter* sink)
        = 0;
    virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
        bool unconnected, int index, IPin** pin)
        = 0;
};

// Kernel-streaming mediums, crossbars and the MPEG-2 demultiplexer: no filter on this system offers them,
// so every lookup of them ends in "not found".
struct REGPINMEDIUM {
    GUID clsMedium;
    uint32_t dw1;
    uint32_t dw2;
};
static_assert(sizeof(REGPINMEDIUM) == 24);

struct IKsPin : IUnknown {
    // The mediums in one CoTaskMemAlloc block, freed by the caller.
    virtual HRESULT KsQueryMediums(REGPINMEDIUM** mediums, ULONG* count) = 0;
};

struct IAMCrossbar : IUnknown {
    virtual HRESULT get_PinCounts(long* outputs, long* inputs) = 0;
};

inline constexpr uint32_t MPEG2_PROGRAM_ELEMENTARY_STREAM = 1;

struct IMpeg2Demultiplexer : IUnknown {
    virtual HRESULT CreateOutputPin(AM_MEDIA_TYPE* type, const wchar_t* name, IPin** pin) = 0;
    virtual HRESULT SetOutputPinMediaType(const wchar_t* name, AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT DeleteOutputPin(const wchar_t* name) = 0;
};

struct IMPEG2PIDMap : IUnknown {
    virtual HRESULT MapPID(ULONG count, ULONG* pids, uint32_t content) = 0;
    virtual HRESULT UnmapPID(ULONG count, ULONG* pids) = 0;
};

inline constexpr long CameraControl_Roll = 2;

struct IAMCameraControl : IUnknown {
    virtual HRESULT Get(long property, long* value, long* flags) = 0;
};

// Kernel-streaming controls of capture cards (vendor property sets, topology nodes). The filters of this
// system answer them with a null implementation: every request fails.
struct KSIDENTIFIER {
    GUID Set;
    uint32_t Id;
    uint32_t Flags;
};
using KSPROPERTY = KSIDENTIFIER;
static_assert(sizeof(KSPROPERTY) == 24);

struct KSP_NODE {
    KSPROPERTY Property;
    uint32_t NodeId;
    uint32_t Reserved;
};
static_assert(sizeof(KSP_NODE) == 32);

inline constexpr uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
inline constexpr uint32_t KSPROPERTY_TYPE_SET = 0x00000002;
inline constexpr uint32_t KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;

struct IKsControl : IUnknown {
    virtual HRESULT KsProperty(
        KSPROPERTY* property, ULONG propertyLength, void* data, ULONG dataLength, ULONG* bytesReturned)
        = 0;
};

struct IKsTopologyInfo : IUnknown {
    virtual HRESULT get_NumNodes(uint32_t* count) = 0;
    virtual HRESULT get_NodeType(uint32_t index, GUID* type) = 0;
};

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

// Creates the graph (CLSID_FilterGraph), the capture graph builder (CLSID_CaptureGraphBuilder2) and the
// system device enumerator (CLSID_SystemDeviceEnum); any other class is REGDB_E_CLASSNOTREG.
HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, uint32_t context, REFIID iid, void** object);
