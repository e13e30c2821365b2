// The capture graph builder: finds pins by direction, category and major type, and renders a stream by
// connecting a source pin straight to the sink (through an intermediate filter when one is given).
#include "graphobjects.h"
#include "rgbconverter.h"

namespace capture {

bool pinHasCategory(IPin* pin, const GUID& category)
{
    ComPtr<IKsPropertySet> properties;
    if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.putVoid())))
        return false;
    GUID pinCategory {};
    uint32_t returned = 0;
    if (FAILED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &pinCategory,
            sizeof pinCategory, &returned)))
        return false;
    return returned >= sizeof pinCategory && pinCategory == category;
}

bool pinHasMajorType(IPin* pin, const GUID& majorType)
{
    ComPtr<IAMStreamConfig> config;
    int count = 0, size = 0;
    if (SUCCEEDED(pin->QueryInterface(IID_IAMStreamConfig, config.putVoid()))
        && SUCCEEDED(config->GetNumberOfCapabilities(&count, &size)) && size > 0) {
        std::vector<uint8_t> caps(static_cast<size_t>(size));
        for (int i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* type = nullptr;
            if (config->GetStreamCaps(i, &type, caps.data()) != S_OK)
                continue;
            const bool match = type->majortype == majorType;
            DeleteMediaType(type);
            if (match)
                return true;
        }
    }
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.put())))
        return false;
    AM_MEDIA_TYPE* type = nullptr;
    while (types->Next(1, &type, nullptr) == S_OK) {
        const bool match = type->majortype == majorType;
        DeleteMediaType(type);
        if (match)
            return true;
    }
    return false;
}

HRESULT CaptureGraphBuilder::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ICaptureGraphBuilder2) {
        *object = static_cast<ICaptureGraphBuilder2*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CaptureGraphBuilder::AddRef() { return ++m_refs; }

ULONG CaptureGraphBuilder::Release()
{
    const ULONG refs = --m_refs;
    if (!refs)
        delete this;
    return refs;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph)
{
    if (!graph)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    m_graph = graph;
    return S_OK;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    if (!graph)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *graph = m_graph;
    if (!*graph)
        return E_UNEXPECTED;
    (*graph)->AddRef();
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category,
    const GUID* type, bool unconnected, int index, IPin** pin)
{
    if (!source || !pin)
        return E_POINTER;
    *pin = nullptr;
    ComPtr<IPin> given;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, given.putVoid()))) {
        *pin = given.detach();
        return S_OK;
    }
    ComPtr<IBaseFilter> filter;
    if (FAILED(source->QueryInterface(IID_IBaseFilter, filter.putVoid())))
        return E_NOINTERFACE;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return E_FAIL;
    ComPtr<IPin> candidate;
    while (pins->Next(1, candidate.put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (FAILED(candidate->QueryDirection(&pinDirection)) || pinDirection != direction)
            continue;
        if (category && !pinHasCategory(candidate, *category))
            continue;
        if (type && !pinHasMajorType(candidate, *type))
            continue;
        if (unconnected) {
            ComPtr<IPin> other;
            if (SUCCEEDED(candidate->ConnectedTo(other.put())))
                continue;
        }
        if (index-- == 0) {
            *pin = candidate.detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CaptureGraphBuilder::FindInterface(
    const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object)
{
    if (!filter || !object)
        return E_POINTER;
    *object = nullptr;
    if (SUCCEEDED(filter->QueryInterface(iid, object)))
        return S_OK;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return E_FAIL;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        if (category && *category != LOOK_UPSTREAM_ONLY && *category != LOOK_DOWNSTREAM_ONLY
            && !pinHasCategory(pin, *category))
            continue;
        if (type && !pinHasMajorType(pin, *type))
            continue;
        if (SUCCEEDED(pin->QueryInterface(iid, object)))
            return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::connectFilters(IPin* output, IBaseFilter* downstream)
{
    ComPtr<IGraphBuilder> graph;
    if (FAILED(GetFiltergraph(graph.put())))
        return E_UNEXPECTED;
    ComPtr<IEnumPins> pins;
    if (FAILED(downstream->EnumPins(pins.put())))
        return E_FAIL;
    ComPtr<IPin> input;
    while (pins->Next(1, input.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        ComPtr<IPin> other;
        if (FAILED(input->QueryDirection(&direction)) || direction != PINDIR_INPUT
            || SUCCEEDED(input->ConnectedTo(other.put())))
            continue;
        if (SUCCEEDED(graph->Connect(output, input)))
            return S_OK;
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CaptureGraphBuilder::RenderStream(
    const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate, IBaseFilter* sink)
{
    if (!source)
        return E_POINTER;
    if (!sink)
        return E_NOTIMPL; // there is no default renderer to pick
    ComPtr<IPin> output;
    if (FAILED(FindPin(source, PINDIR_OUTPUT, category, type, true, 0, output.put())))
        return VFW_E_NOT_FOUND;
    if (intermediate) {
        HRESULT hr = connectFilters(output, intermediate);
        if (FAILED(hr))
            return hr;
        if (FAILED(FindPin(intermediate, PINDIR_OUTPUT, nullptr, nullptr, true, 0, output.put())))
            return VFW_E_CANNOT_CONNECT;
    }
    if (SUCCEEDED(connectFilters(output, sink)))
        return S_OK;
    return connectThroughConverter(output, sink);
}

// A sink that takes RGB32 only, fed by an RGB24 source: a converter goes in between.
HRESULT CaptureGraphBuilder::connectThroughConverter(IPin* output, IBaseFilter* sink)
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> converter;
    if (FAILED(GetFiltergraph(graph.put())) || FAILED(CreateRgb24ToRgb32Converter(converter.put())))
        return VFW_E_CANNOT_CONNECT;
    if (FAILED(graph->AddFilter(converter, L"RGB24 to RGB32")))
        return VFW_E_CANNOT_CONNECT;
    ComPtr<IPin> converterOutput;
    if (SUCCEEDED(connectFilters(output, converter))
        && SUCCEEDED(FindPin(converter, PINDIR_OUTPUT, nullptr, nullptr, true, 0, converterOutput.put()))
        && SUCCEEDED(connectFilters(converterOutput, sink)))
        return S_OK;
    graph->RemoveFilter(converter);
    return VFW_E_CANNOT_CONNECT;
}

} // namespace capture
