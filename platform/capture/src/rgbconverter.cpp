#include "rgbconverter.h"

#include "enumerators.h"
#include "mediasample.h"
#include "sourcefilter.h"

#include <libyuv/convert_argb.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <mutex>

namespace capture {
namespace {

    constexpr wchar_t kInputName[] = L"RGB24 In";
    constexpr wchar_t kOutputName[] = L"RGB32 Out";

    bool isRgb24Video(const AM_MEDIA_TYPE& type)
    {
        const auto* info = type.formatAs<VIDEOINFOHEADER>();
        return type.majortype == MEDIATYPE_Video && type.subtype == MEDIASUBTYPE_RGB24
            && type.formattype == FORMAT_VideoInfo && info && info->bmiHeader.biWidth > 0
            && info->bmiHeader.biHeight != 0;
    }

    AM_MEDIA_TYPE rgb32For(const AM_MEDIA_TYPE& rgb24)
    {
        const auto* info = rgb24.formatAs<VIDEOINFOHEADER>();
        return makeVideoType(MEDIASUBTYPE_RGB32, info->bmiHeader.biWidth, info->bmiHeader.biHeight,
            info->AvgTimePerFrame, rowsBottomUp(rgb24));
    }

    class Converter;

    // The two pins share the filter's count and state.
    class ConverterPin : public IPin {
    public:
        ConverterPin(Converter& filter, PIN_DIRECTION direction)
            : m_filter(filter)
            , m_direction(direction)
        {
        }

        ULONG AddRef() override;
        ULONG Release() override;

        HRESULT ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
        HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
        HRESULT Disconnect() override
        {
            std::lock_guard lock(m_mutex);
            if (!m_connected)
                return S_FALSE;
            m_connected.reset();
            return S_OK;
        }
        HRESULT ConnectedTo(IPin** pin) override
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
        HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override
        {
            if (!type)
                return E_POINTER;
            std::lock_guard lock(m_mutex);
            if (!m_connected)
                return VFW_E_NOT_CONNECTED;
            *type = m_type;
            return S_OK;
        }
        HRESULT QueryPinInfo(PIN_INFO* info) override;
        HRESULT QueryDirection(PIN_DIRECTION* direction) override
        {
            if (!direction)
                return E_POINTER;
            *direction = m_direction;
            return S_OK;
        }
        HRESULT QueryId(wchar_t** id) override
        {
            if (!id)
                return E_POINTER;
            *id = taskMemString(m_direction == PINDIR_INPUT ? kInputName : kOutputName);
            return *id ? S_OK : E_OUTOFMEMORY;
        }
        HRESULT EnumMediaTypes(IEnumMediaTypes** types) override
        {
            if (!types)
                return E_POINTER;
            std::vector<AM_MEDIA_TYPE> list;
            {
                std::lock_guard lock(m_mutex);
                if (m_connected)
                    list.push_back(m_type);
            }
            *types = new TypeListEnum(std::move(list));
            (*types)->AddRef();
            return S_OK;
        }
        HRESULT QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
        HRESULT EndOfStream() override { return S_OK; }
        HRESULT BeginFlush() override { return S_OK; }
        HRESULT EndFlush() override { return S_OK; }
        HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    protected:
        Converter& m_filter;
        const PIN_DIRECTION m_direction;
        std::mutex m_mutex;
        ComPtr<IPin> m_connected;
        AM_MEDIA_TYPE m_type;
    };

    class OutputPin final : public ConverterPin {
    public:
        using ConverterPin::ConverterPin;

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPin) {
                *object = static_cast<IPin*>(this);
                AddRef();
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override
        {
            return type && type->subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE;
        }
        HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE*) override;
        HRESULT Disconnect() override
        {
            std::lock_guard lock(m_mutex);
            m_input.reset();
            if (!m_connected)
                return S_FALSE;
            m_connected.reset();
            return S_OK;
        }

        // Passes a converted sample on; a new size is offered downstream first.
        HRESULT deliver(IMediaSample* rgb24, const AM_MEDIA_TYPE* changed);

    private:
        ComPtr<IMemInputPin> m_input;
    };

    class InputPin final : public ConverterPin, public IMemInputPin {
    public:
        InputPin(Converter& filter, OutputPin& output)
            : ConverterPin(filter, PINDIR_INPUT)
            , m_output(output)
        {
        }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPin)
                *object = static_cast<IPin*>(this);
            else if (iid == IID_IMemInputPin)
                *object = static_cast<IMemInputPin*>(this);
            else {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            AddRef();
            return S_OK;
        }
        ULONG AddRef() override { return ConverterPin::AddRef(); }
        ULONG Release() override { return ConverterPin::Release(); }

        HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
        HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override
        {
            if (!type)
                return E_POINTER;
            if (!isRgb24Video(*type))
                return S_FALSE;
            // A new size is fine when the far side takes it too.
            const AM_MEDIA_TYPE rgb32 = rgb32For(*type);
            ComPtr<IPin> downstream;
            if (SUCCEEDED(m_output.ConnectedTo(downstream.put())) && downstream->QueryAccept(&rgb32) != S_OK)
                return S_FALSE;
            return S_OK;
        }

        HRESULT GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
        HRESULT NotifyAllocator(IMemAllocator*, bool) override { return S_OK; }
        HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
        HRESULT Receive(IMediaSample* sample) override;
        HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed) override
        {
            long done = 0;
            for (long i = 0; i < count; ++i) {
                if (samples && samples[i])
                    Receive(samples[i]);
                ++done;
            }
            if (processed)
                *processed = done;
            return S_OK;
        }
        HRESULT ReceiveCanBlock() override { return S_FALSE; }

    private:
        OutputPin& m_output;
    };

    class Converter final : public IBaseFilter {
    public:
        Converter()
            : m_output(*this, PINDIR_OUTPUT)
            , m_input(*this, m_output)
        {
        }

        FILTER_STATE state() const { return m_state; }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter
                || iid == IID_IBaseFilter) {
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
        HRESULT Stop() override
        {
            m_state = State_Stopped;
            return S_OK;
        }
        HRESULT Pause() override
        {
            m_state = State_Paused;
            return S_OK;
        }
        HRESULT Run(REFERENCE_TIME) override
        {
            m_state = State_Running;
            return S_OK;
        }
        HRESULT GetState(uint32_t, FILTER_STATE* state) override
        {
            if (!state)
                return E_POINTER;
            *state = m_state;
            return S_OK;
        }
        HRESULT SetSyncSource(IReferenceClock*) override { return S_OK; }
        HRESULT GetSyncSource(IReferenceClock** clock) override
        {
            if (!clock)
                return E_POINTER;
            *clock = nullptr;
            return S_OK;
        }
        HRESULT EnumPins(IEnumPins** pins) override
        {
            if (!pins)
                return E_POINTER;
            *pins = new PinListEnum({ ComPtr<IPin>(static_cast<IPin*>(&m_input)), ComPtr<IPin>(&m_output) });
            (*pins)->AddRef();
            return S_OK;
        }
        HRESULT FindPin(const wchar_t* id, IPin** pin) override
        {
            if (!id || !pin)
                return E_POINTER;
            *pin = std::wcscmp(id, kInputName) == 0 ? static_cast<IPin*>(&m_input)
                : std::wcscmp(id, kOutputName) == 0 ? static_cast<IPin*>(&m_output)
                                                    : nullptr;
            if (!*pin)
                return VFW_E_NOT_FOUND;
            (*pin)->AddRef();
            return S_OK;
        }
        HRESULT QueryFilterInfo(FILTER_INFO* info) override
        {
            if (!info)
                return E_POINTER;
            copyName(info->achName, MAX_FILTER_NAME, L"RGB24 to RGB32");
            info->pGraph = m_graph;
            if (m_graph)
                m_graph->AddRef();
            return S_OK;
        }
        HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t*) override
        {
            m_graph = graph;
            return S_OK;
        }
        HRESULT QueryVendorInfo(wchar_t**) override { return E_NOTIMPL; }

    private:
        ~Converter() = default;

        std::atomic<ULONG> m_refs { 0 };
        std::atomic<FILTER_STATE> m_state { State_Stopped };
        IFilterGraph* m_graph = nullptr;
        OutputPin m_output;
        InputPin m_input;
    };

    ULONG ConverterPin::AddRef() { return m_filter.AddRef(); }

    ULONG ConverterPin::Release() { return m_filter.Release(); }

    HRESULT ConverterPin::QueryPinInfo(PIN_INFO* info)
    {
        if (!info)
            return E_POINTER;
        info->pFilter = &m_filter;
        m_filter.AddRef();
        info->dir = m_direction;
        copyName(info->achName, MAX_PIN_NAME, m_direction == PINDIR_INPUT ? kInputName : kOutputName);
        return S_OK;
    }

    HRESULT OutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE*)
    {
        if (!receivePin)
            return E_POINTER;
        if (m_filter.state() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        AM_MEDIA_TYPE upstream;
        ComPtr<IPin> input;
        if (FAILED(m_filter.FindPin(kInputName, input.put()))
            || input->ConnectionMediaType(&upstream) != S_OK)
            return VFW_E_NOT_CONNECTED; // the type follows the input's
        std::lock_guard lock(m_mutex);
        if (m_connected)
            return VFW_E_ALREADY_CONNECTED;
        const AM_MEDIA_TYPE type = rgb32For(upstream);
        if (receivePin->ReceiveConnection(this, &type) != S_OK)
            return VFW_E_NO_ACCEPTABLE_TYPES;
        ComPtr<IMemInputPin> memInput;
        if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, memInput.putVoid()))) {
            receivePin->Disconnect();
            return VFW_E_NO_ACCEPTABLE_TYPES;
        }
        m_connected = receivePin;
        m_input = memInput;
        m_type = type;
        return S_OK;
    }

    HRESULT OutputPin::deliver(IMediaSample* rgb24, const AM_MEDIA_TYPE* changed)
    {
        ComPtr<IMemInputPin> input;
        AM_MEDIA_TYPE type;
        {
            std::lock_guard lock(m_mutex);
            if (!m_input)
                return VFW_E_NOT_CONNECTED;
            if (changed)
                m_type = rgb32For(*changed);
            input = m_input;
            type = m_type;
        }
        const auto* info = type.formatAs<VIDEOINFOHEADER>();
        const int width = info->bmiHeader.biWidth;
        const int height = std::abs(info->bmiHeader.biHeight);
        const int sourceStride = (width * 3 + 3) & ~3;
        uint8_t* source = nullptr;
        if (FAILED(rgb24->GetPointer(&source))
            || rgb24->GetActualDataLength() < static_cast<long>(sourceStride) * height)
            return S_FALSE; // a short picture cannot be converted whole

        ComPtr<MediaSample> sample(new MediaSample(static_cast<size_t>(width) * height * 4));
        libyuv::RGB24ToARGB(source, sourceStride, sample->data(), width * 4, width, height);
        REFERENCE_TIME start = 0, stop = 0;
        if (SUCCEEDED(rgb24->GetTime(&start, &stop)))
            sample->SetTime(&start, &stop);
        if (changed)
            sample->setChangedType(type);
        return input->Receive(sample);
    }

    HRESULT InputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
    {
        if (!connector || !type)
            return E_POINTER;
        if (m_filter.state() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        if (!isRgb24Video(*type))
            return VFW_E_TYPE_NOT_ACCEPTED;
        std::lock_guard lock(m_mutex);
        if (m_connected)
            return VFW_E_ALREADY_CONNECTED;
        m_connected = connector;
        m_type = *type;
        return S_OK;
    }

    HRESULT InputPin::Receive(IMediaSample* sample)
    {
        if (!sample)
            return S_OK;
        AM_MEDIA_TYPE* changed = nullptr;
        if (sample->GetMediaType(&changed) == S_OK && changed) {
            {
                std::lock_guard lock(m_mutex);
                m_type = *changed;
            }
            const HRESULT hr = m_output.deliver(sample, changed);
            DeleteMediaType(changed);
            return hr;
        }
        return m_output.deliver(sample, nullptr);
    }

} // namespace

HRESULT CreateRgb24ToRgb32Converter(IBaseFilter** filter)
{
    if (!filter)
        return E_POINTER;
    *filter = new Converter;
    (*filter)->AddRef();
    return S_OK;
}

} // namespace capture
