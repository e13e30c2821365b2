#pragma once

// The capture source filter the devices share: one output pin ("Capture", pin category capture) with a
// stream configuration over a fixed capability list. The pin counts its references on the filter. The
// device behind it starts delivering samples when the filter runs and stops when it stops; the filter
// calls stopStreaming before it goes away, so no delivery outlives it.

#include <capture/interfaces.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct SourceCapability {
    AM_MEDIA_TYPE type;
    VIDEO_STREAM_CONFIG_CAPS caps;
};

// The bytes of one picture; RGB rows are padded to four bytes.
size_t frameBytes(const GUID& subtype, int width, int height);
// A FORMAT_VideoInfo type of the subtype and size (the height's sign ignored) at the interval, its rows
// top-down: RGB says so with a negative height, as a positive one means bottom-up rows there. RGB rows
// that run bottom-up are asked with `bottomUp`.
AM_MEDIA_TYPE makeVideoType(
    const GUID& subtype, int width, int height, REFERENCE_TIME interval, bool bottomUp = false);
// Whether the type's rows run bottom-up: RGB with a positive height.
bool rowsBottomUp(const AM_MEDIA_TYPE& type);
SourceCapability makeCapability(const GUID& subtype, int minWidth, int minHeight, int maxWidth, int maxHeight,
    int stepWidth, int stepHeight, REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval);

class SourceFilter;

class SourcePin final : public IPin, public IAMStreamConfig, public IKsPropertySet {
public:
    explicit SourcePin(SourceFilter& filter);

    bool isConnected() const;
    // The connected type and the pin that receives the samples (referenced), or false.
    bool connection(AM_MEDIA_TYPE& type, ComPtr<IMemInputPin>& input) const;
    void disconnectBoth();

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(wchar_t** id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    HRESULT SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** type) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, uint8_t* caps) override;

    HRESULT Set(REFGUID set, uint32_t id, void* instance, uint32_t instanceSize, void* data,
        uint32_t dataSize) override;
    HRESULT Get(REFGUID set, uint32_t id, void* instance, uint32_t instanceSize, void* data,
        uint32_t dataSize, uint32_t* returned) override;
    HRESULT QuerySupported(REFGUID set, uint32_t id, uint32_t* support) override;

private:
    // The type completed to what the device would deliver (interval filled in), when a capability has it.
    std::optional<AM_MEDIA_TYPE> producible(const AM_MEDIA_TYPE& type) const;
    std::vector<AM_MEDIA_TYPE> candidates(const AM_MEDIA_TYPE* wanted) const;

    SourceFilter& m_filter;
    mutable std::recursive_mutex m_mutex;
    ComPtr<IPin> m_connected;
    ComPtr<IMemInputPin> m_input;
    AM_MEDIA_TYPE m_connectionType;
    std::optional<AM_MEDIA_TYPE> m_format;
};

// The kernel-streaming controls of a capture card, which our devices are not: every request fails as an
// unsupported property set, and the topology has no node.
class NullKsControls final : public IKsPropertySet, public IKsControl, public IKsTopologyInfo {
public:
    explicit NullKsControls(IUnknown& owner)
        : m_owner(owner)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override { return m_owner.QueryInterface(iid, object); }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }

    HRESULT Set(REFGUID, uint32_t, void*, uint32_t, void*, uint32_t) override
    {
        return E_PROP_SET_UNSUPPORTED;
    }
    HRESULT Get(REFGUID, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t*) override
    {
        return E_PROP_SET_UNSUPPORTED;
    }
    HRESULT QuerySupported(REFGUID, uint32_t, uint32_t*) override { return E_PROP_SET_UNSUPPORTED; }
    HRESULT KsProperty(KSPROPERTY*, ULONG, void*, ULONG, ULONG*) override { return E_PROP_SET_UNSUPPORTED; }
    HRESULT get_NumNodes(uint32_t* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT get_NodeType(uint32_t, GUID*) override { return E_INVALIDARG; }

private:
    IUnknown& m_owner;
};

class SourceFilter : public IBaseFilter {
public:
    SourceFilter(std::wstring name, std::vector<SourceCapability> capabilities);

    const std::vector<SourceCapability>& capabilities() const { return m_capabilities; }
    FILTER_STATE state() const { return m_state; }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetClassID(CLSID* classId) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(uint32_t timeoutMs, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const wchar_t* id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t* name) override;
    HRESULT QueryVendorInfo(wchar_t** vendorInfo) override;

protected:
    virtual ~SourceFilter();
    // Subclasses call this from their destructor, while their streaming state still exists.
    void shutDown();

    // Begins delivering samples of `type` to `input` (referenced by the callee as long as it needs it).
    virtual HRESULT startStreaming(const AM_MEDIA_TYPE& type, IMemInputPin* input) = 0;
    // Ends the delivery and waits until no sample is being delivered.
    virtual void stopStreaming() = 0;

private:
    std::atomic<ULONG> m_refs { 0 };
    std::recursive_mutex m_mutex;
    std::wstring m_name;
    std::wstring m_graphName;
    IFilterGraph* m_graph = nullptr; // the graph holds the filter, never the other way round
    std::atomic<FILTER_STATE> m_state { State_Stopped };
    bool m_streaming = false;
    std::vector<SourceCapability> m_capabilities;
    SourcePin m_pin;
    NullKsControls m_ksControls { *this };
};

} // namespace capture
