#pragma once

// The graph, the capture graph builder and the system device enumerator (made by CoCreateInstance).

#include <capture/catalog.h>
#include <capture/interfaces.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace capture {

class FilterGraph final : public IGraphBuilder, public IMediaControl {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT AddFilter(IBaseFilter* filter, const wchar_t* name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(const wchar_t* name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override;
    HRESULT Reconnect(IPin* pin) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override;
    HRESULT Connect(IPin* output, IPin* input) override;
    HRESULT Render(IPin* output) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(long timeoutMs, long* state) override;
    HRESULT StopWhenReady() override;

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        std::wstring name;
    };

    ~FilterGraph() = default;
    void removeAll();
    // Stops the filter and drops every connection of its pins.
    static void detach(IBaseFilter* filter);
    std::wstring uniqueName(const wchar_t* wanted) const;
    std::vector<ComPtr<IBaseFilter>> snapshot() const;
    void stopAll(const std::vector<ComPtr<IBaseFilter>>& filters);

    std::atomic<ULONG> m_refs { 0 };
    mutable std::recursive_mutex m_mutex;
    std::mutex m_controlMutex;
    std::vector<Entry> m_filters;
    std::atomic<long> m_state { State_Stopped };
};

class CaptureGraphBuilder final : public ICaptureGraphBuilder2 {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT FindInterface(
        const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object) override;
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
        IBaseFilter* sink) override;
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
        bool unconnected, int index, IPin** pin) override;

private:
    ~CaptureGraphBuilder() = default;
    HRESULT connectFilters(IPin* output, IBaseFilter* downstream);
    HRESULT connectThroughConverter(IPin* output, IBaseFilter* sink);

    std::atomic<ULONG> m_refs { 0 };
    std::mutex m_mutex;
    ComPtr<IGraphBuilder> m_graph;
};

class SystemDeviceEnum final : public ICreateDevEnum {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** devices, uint32_t flags) override;

private:
    ~SystemDeviceEnum() = default;
    std::atomic<ULONG> m_refs { 0 };
};

// Whether the pin reports the category through AMPROPSETID_Pin, and offers the major type (any
// capability of its stream configuration, else any media type it enumerates).
bool pinHasCategory(IPin* pin, const GUID& category);
bool pinHasMajorType(IPin* pin, const GUID& majorType);

} // namespace capture
