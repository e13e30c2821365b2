// The filter graph: holds the filters by name, connects pins directly and starts and stops every filter
// together. Removing a filter disconnects its pins first, so no connection keeps a removed filter alive.
#include "graphobjects.h"

#include "enumerators.h"

#include <algorithm>
#include <cwchar>

namespace capture {

HRESULT FilterGraph::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder)
        *object = static_cast<IGraphBuilder*>(this);
    else if (iid == IID_IMediaControl)
        *object = static_cast<IMediaControl*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FilterGraph::AddRef() { return ++m_refs; }

ULONG FilterGraph::Release()
{
    const ULONG refs = --m_refs;
    if (!refs) {
        // Keep the graph alive while the filters leave it (a filter may hold and drop a reference).
        m_refs = 1;
        removeAll();
        delete this;
    }
    return refs;
}

// The graph is going: every filter leaves, willing or not.
void FilterGraph::removeAll()
{
    for (;;) {
        ComPtr<IBaseFilter> filter;
        {
            std::lock_guard lock(m_mutex);
            if (m_filters.empty())
                break;
            filter = m_filters.back().filter;
        }
        if (FAILED(RemoveFilter(filter))) {
            {
                std::lock_guard lock(m_mutex);
                m_filters.pop_back();
            }
            detach(filter);
        }
    }
}

std::wstring FilterGraph::uniqueName(const wchar_t* wanted) const
{
    const std::wstring base = wanted && *wanted ? wanted : L"Filter";
    auto taken = [this](const std::wstring& name) {
        return std::any_of(
            m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.name == name; });
    };
    if (!taken(base))
        return base;
    for (int n = 1;; ++n) {
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L" %04d", n);
        if (!taken(base + suffix))
            return base + suffix;
    }
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filter, const wchar_t* name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    for (const Entry& entry : m_filters) {
        if (entry.filter.get() == filter)
            return E_INVALIDARG;
    }
    Entry entry { ComPtr<IBaseFilter>(filter), uniqueName(name) };
    const HRESULT hr = filter->JoinFilterGraph(this, entry.name.c_str());
    if (FAILED(hr))
        return hr;
    m_filters.push_back(std::move(entry));
    return S_OK;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filter)
{
    if (!filter)
        return E_POINTER;
    ComPtr<IGraphBuilder> self(this);
    ComPtr<IBaseFilter> removed;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(
            m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.get() == filter; });
        if (it == m_filters.end())
            return VFW_E_NOT_FOUND;
        removed = it->filter;
    }
    // A filter that refuses to leave stays in the graph, connected and as it was.
    const HRESULT hr = removed->JoinFilterGraph(nullptr, nullptr);
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(
            m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.get() == filter; });
        if (it != m_filters.end())
            m_filters.erase(it);
    }
    detach(removed);
    return S_OK;
}

void FilterGraph::detach(IBaseFilter* filter)
{
    filter->Stop();
    ComPtr<IEnumPins> pins;
    if (SUCCEEDED(filter->EnumPins(pins.put()))) {
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            ComPtr<IPin> other;
            if (SUCCEEDED(pin->ConnectedTo(other.put())))
                other->Disconnect();
            pin->Disconnect();
        }
    }
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** filters)
{
    if (!filters)
        return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> list;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_filters)
            list.push_back(entry.filter);
    }
    *filters = new FilterListEnum(std::move(list));
    (*filters)->AddRef();
    return S_OK;
}

HRESULT FilterGraph::FindFilterByName(const wchar_t* name, IBaseFilter** filter)
{
    if (!name || !filter)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    for (const Entry& entry : m_filters) {
        if (entry.name == name) {
            *filter = entry.filter;
            (*filter)->AddRef();
            return S_OK;
        }
    }
    *filter = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type)
{
    if (!output || !input)
        return E_POINTER;
    PIN_DIRECTION outputDirection, inputDirection;
    if (FAILED(output->QueryDirection(&outputDirection)) || FAILED(input->QueryDirection(&inputDirection))
        || outputDirection != PINDIR_OUTPUT || inputDirection != PINDIR_INPUT)
        return E_INVALIDARG;
    return output->Connect(input, type);
}

HRESULT FilterGraph::Reconnect(IPin*) { return E_NOTIMPL; }

HRESULT FilterGraph::Disconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    return pin->Disconnect();
}

HRESULT FilterGraph::SetDefaultSyncSource() { return S_OK; }

HRESULT FilterGraph::Connect(IPin* output, IPin* input) { return ConnectDirect(output, input, nullptr); }

HRESULT FilterGraph::Render(IPin*) { return E_NOTIMPL; }

HRESULT FilterGraph::Abort() { return S_OK; }

HRESULT FilterGraph::ShouldOperationContinue() { return S_OK; }

std::vector<ComPtr<IBaseFilter>> FilterGraph::snapshot() const
{
    std::lock_guard lock(m_mutex);
    std::vector<ComPtr<IBaseFilter>> list;
    for (const Entry& entry : m_filters)
        list.push_back(entry.filter);
    return list;
}

// Filters start downstream first, so that a sink is running before its source delivers.
HRESULT FilterGraph::Run()
{
    std::lock_guard control(m_controlMutex);
    const auto filters = snapshot();
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        const HRESULT hr = (*it)->Pause();
        if (FAILED(hr)) {
            stopAll(filters);
            return hr;
        }
    }
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        const HRESULT hr = (*it)->Run(0);
        if (FAILED(hr)) {
            stopAll(filters);
            return hr;
        }
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT FilterGraph::Pause()
{
    std::lock_guard control(m_controlMutex);
    for (const auto& filter : snapshot())
        filter->Pause();
    m_state = State_Paused;
    return S_OK;
}

HRESULT FilterGraph::Stop()
{
    std::lock_guard control(m_controlMutex);
    stopAll(snapshot());
    return S_OK;
}

void FilterGraph::stopAll(const std::vector<ComPtr<IBaseFilter>>& filters)
{
    for (const auto& filter : filters)
        filter->Stop();
    m_state = State_Stopped;
}

HRESULT FilterGraph::GetState(long, long* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

HRESULT FilterGraph::StopWhenReady() { return Stop(); }

} // namespace capture
