// The capture sink: what it accepts and when, format changes while connected, delivery of samples with
// flushing, its enumerators and reference counting.
#include "fakedevice.h"

#include "media/capture/capturefilter.h"

#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

using DShow::CaptureFilter;
using DShow::PinCaptureInfo;

// A sample that only tells who it is.
class TaggedSample final : public IMediaSample {
public:
    explicit TaggedSample(int tag)
        : m_tag(tag)
    {
    }
    int tag() const { return m_tag; }

    HRESULT QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override { return --m_refs; } // owned by the test
    HRESULT GetPointer(uint8_t**) override { return E_NOTIMPL; }
    long GetSize() override { return 0; }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT IsSyncPoint() override { return S_OK; }
    HRESULT SetSyncPoint(bool) override { return S_OK; }
    HRESULT IsPreroll() override { return S_FALSE; }
    HRESULT SetPreroll(bool) override { return S_OK; }
    long GetActualDataLength() override { return 0; }
    HRESULT SetActualDataLength(long) override { return S_OK; }
    HRESULT GetMediaType(AM_MEDIA_TYPE**) override { return S_FALSE; }
    HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT IsDiscontinuity() override { return S_FALSE; }
    HRESULT SetDiscontinuity(bool) override { return S_OK; }
    HRESULT GetMediaTime(int64_t*, int64_t*) override { return E_NOTIMPL; }
    HRESULT SetMediaTime(int64_t*, int64_t*) override { return E_NOTIMPL; }

private:
    int m_tag;
    ULONG m_refs = 0;
};

AM_MEDIA_TYPE i420(int width, int height)
{
    return fakedevice::videoType(MEDIASUBTYPE_I420, width, height, 333333);
}

class CaptureFilterTest : public testing::Test {
protected:
    CaptureFilterTest()
        : m_filter(new CaptureFilter(PinCaptureInfo {
            [this](IMediaSample* sample) { m_received.push_back(static_cast<TaggedSample*>(sample)->tag()); },
            MEDIATYPE_Video, MEDIASUBTYPE_I420 }))
    {
        m_filter->FindPin(L"Capture Pin", m_pin.put());
        m_pin.as(IID_IMemInputPin, m_input);
        capture::CreateSyntheticCamera(
            L"Upstream", capture::defaultSyntheticCapabilities(), m_upstream.put());
        m_upstream->FindPin(L"Capture", m_connector.put());
    }
    ~CaptureFilterTest() override
    {
        if (m_pin)
            m_pin->Disconnect();
    }

    ComPtr<CaptureFilter> m_filter;
    ComPtr<IPin> m_pin;
    ComPtr<IMemInputPin> m_input;
    ComPtr<IBaseFilter> m_upstream;
    ComPtr<IPin> m_connector;
    std::vector<int> m_received;
};

TEST_F(CaptureFilterTest, AcceptsTheExpectedTypeWithAUsableFormat)
{
    AM_MEDIA_TYPE noFormat;
    noFormat.majortype = MEDIATYPE_Video;
    noFormat.subtype = MEDIASUBTYPE_NV12; // any subtype goes without a format block
    AM_MEDIA_TYPE wrongMajor = i420(640, 480);
    wrongMajor.majortype = MEDIATYPE_Audio;
    AM_MEDIA_TYPE majorOnlyNull;
    AM_MEDIA_TYPE videoInfo2
        = fakedevice::videoType(MEDIASUBTYPE_I420, 640, 480, 333333, 0, FORMAT_VideoInfo2);
    AM_MEDIA_TYPE noHeader = i420(640, 480);
    noHeader.formattype = FORMAT_WaveFormatEx;

    struct Row {
        const char* label;
        const AM_MEDIA_TYPE* type;
        HRESULT connect;
        HRESULT receiveConnection;
        HRESULT queryAccept;
    };
    const AM_MEDIA_TYPE good = i420(640, 480), zeroWidth = i420(0, 480), zeroHeight = i420(640, 0),
                        otherSubtype = fakedevice::videoType(MEDIASUBTYPE_NV12, 640, 480, 333333);
    const Row rows[] = {
        { "usable", &good, S_OK, S_OK, S_OK },
        { "bottom-up", &videoInfo2, S_OK, S_OK, S_OK },
        { "zero width", &zeroWidth, S_FALSE, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "zero height", &zeroHeight, S_FALSE, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "other subtype", &otherSubtype, S_FALSE, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "no format block", &noFormat, S_OK, S_OK, S_OK },
        { "no bitmap header", &noHeader, S_FALSE, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "other major type", &wrongMajor, S_FALSE, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "null major type", &majorOnlyNull, S_OK, VFW_E_TYPE_NOT_ACCEPTED, S_FALSE },
        { "no type", nullptr, S_OK, E_POINTER, E_POINTER },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(m_pin->Connect(m_connector, row.type), row.connect);
        EXPECT_EQ(m_pin->QueryAccept(row.type), row.queryAccept);
        EXPECT_EQ(m_pin->ReceiveConnection(m_connector, row.type), row.receiveConnection);
        m_pin->Disconnect();
    }
}

TEST_F(CaptureFilterTest, ConnectsOnlyWhileStoppedAndOnce)
{
    const AM_MEDIA_TYPE good = i420(640, 480);
    ASSERT_EQ(m_filter->Run(0), S_OK);
    EXPECT_EQ(m_pin->Connect(m_connector, &good), VFW_E_NOT_STOPPED);
    EXPECT_EQ(m_pin->ReceiveConnection(m_connector, &good), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_filter->Pause(), S_OK);
    EXPECT_EQ(m_pin->ReceiveConnection(m_connector, &good), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_filter->Stop(), S_OK);

    EXPECT_EQ(m_pin->ReceiveConnection(nullptr, &good), E_POINTER);
    ASSERT_EQ(m_pin->ReceiveConnection(m_connector, &good), S_OK);
    EXPECT_EQ(m_pin->ReceiveConnection(m_connector, &good), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(m_pin->Connect(m_connector, &good), VFW_E_ALREADY_CONNECTED);

    ComPtr<IPin> connected;
    ASSERT_EQ(m_pin->ConnectedTo(connected.put()), S_OK);
    EXPECT_EQ(connected.get(), m_connector.get());
    EXPECT_EQ(m_pin->Disconnect(), S_OK);
    EXPECT_EQ(m_pin->Disconnect(), S_FALSE);
    EXPECT_EQ(m_pin->ConnectedTo(connected.put()), VFW_E_NOT_CONNECTED);
    AM_MEDIA_TYPE type;
    EXPECT_EQ(m_pin->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
}

TEST_F(CaptureFilterTest, FollowsAFormatChangeWhileConnected)
{
    const AM_MEDIA_TYPE small = i420(640, 480), large = i420(1280, 720), broken = i420(0, 720);
    // Unconnected, an acceptable type changes nothing.
    EXPECT_EQ(m_pin->QueryAccept(&large), S_OK);
    ASSERT_EQ(m_pin->ReceiveConnection(m_connector, &small), S_OK);

    AM_MEDIA_TYPE type;
    ASSERT_EQ(m_pin->ConnectionMediaType(&type), S_OK);
    EXPECT_EQ(type.formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth, 640);

    EXPECT_EQ(m_pin->QueryAccept(&large), S_OK);
    ASSERT_EQ(m_pin->ConnectionMediaType(&type), S_OK);
    EXPECT_EQ(type.formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth, 1280);

    EXPECT_EQ(m_pin->QueryAccept(&broken), S_FALSE);
    ASSERT_EQ(m_pin->ConnectionMediaType(&type), S_OK);
    EXPECT_EQ(type.formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth, 1280);
}

TEST_F(CaptureFilterTest, DeliversSamplesUnlessFlushing)
{
    TaggedSample one(1), two(2), three(3);
    EXPECT_EQ(m_input->Receive(&one), S_OK);
    EXPECT_EQ(m_input->Receive(nullptr), S_OK);

    IMediaSample* batch[] = { &two, nullptr, &three, nullptr };
    long processed = 0;
    EXPECT_EQ(m_input->ReceiveMultiple(batch, 4, &processed), S_OK);
    EXPECT_EQ(processed, 4);
    EXPECT_EQ(m_received, (std::vector<int> { 1, 2, 3 }));

    ASSERT_EQ(m_pin->BeginFlush(), S_OK);
    EXPECT_EQ(m_input->Receive(&one), S_FALSE);
    processed = 0;
    EXPECT_EQ(m_input->ReceiveMultiple(batch, 4, &processed), S_FALSE);
    EXPECT_EQ(processed, 0);
    ASSERT_EQ(m_pin->EndFlush(), S_OK);
    EXPECT_EQ(m_input->Receive(&one), S_OK);
    EXPECT_EQ(m_received, (std::vector<int> { 1, 2, 3, 1 }));

    ComPtr<IMemAllocator> allocator;
    EXPECT_EQ(m_input->GetAllocator(allocator.put()), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(m_input->NotifyAllocator(nullptr, false), S_OK);
    EXPECT_EQ(m_input->GetAllocatorRequirements(nullptr), E_NOTIMPL);
    EXPECT_EQ(m_input->ReceiveCanBlock(), S_FALSE);
}

// The graph sets the state and flushing flags while the streaming thread reads them (run this suite
// under the ThreadSanitizer preset to see the race the atomics close).
TEST_F(CaptureFilterTest, FlagsChangeWhileAnotherThreadDelivers)
{
    TaggedSample sample(7);
    std::atomic<bool> done { false };
    std::atomic<int> accepted { 0 };
    std::thread streaming([&] {
        while (!done) {
            if (m_input->Receive(&sample) == S_OK)
                ++accepted;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        m_pin->BeginFlush();
        m_filter->Run(0);
        m_pin->EndFlush();
        m_filter->Stop();
    }
    done = true;
    streaming.join();
    EXPECT_EQ(m_pin->BeginFlush(), S_OK);
    EXPECT_EQ(m_input->Receive(&sample), S_FALSE);
    (void)accepted.load();
}

TEST_F(CaptureFilterTest, EnumeratorsWalkTheirSingleElement)
{
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(m_filter->EnumPins(pins.put()), S_OK);
    IPin* got[2] = {};
    ULONG fetched = 9;
    ASSERT_EQ(pins->Next(1, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], m_pin.get());
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ComPtr<IEnumPins> clone;
    ASSERT_EQ(pins->Clone(clone.put()), S_OK); // keeps the position: exhausted
    EXPECT_EQ(clone->Next(1, got, &fetched), S_FALSE);

    ASSERT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    got[0]->Release();
    ASSERT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    EXPECT_EQ(pins->Skip(1), S_FALSE);

    const AM_MEDIA_TYPE good = i420(640, 480);
    ASSERT_EQ(m_pin->ReceiveConnection(m_connector, &good), S_OK);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(m_pin->EnumMediaTypes(types.put()), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK);
    ComPtr<IEnumMediaTypes> typesClone;
    ASSERT_EQ(types->Clone(typesClone.put()), S_OK); // starts over
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(typesClone->Next(1, &type, &fetched), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_I420);
    EXPECT_EQ(type->formatAs<VIDEOINFOHEADER>()->bmiHeader.biHeight, 480);
    DeleteMediaType(type);
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(CaptureFilterTest, InterfacesNamesAndIds)
{
    for (const IID& iid : { IID_IUnknown, IID_IPersist, IID_IMediaFilter, IID_IBaseFilter }) {
        ComPtr<IBaseFilter> same;
        ASSERT_EQ(m_filter->QueryInterface(iid, same.putVoid()), S_OK);
        EXPECT_EQ(same.get(), static_cast<IBaseFilter*>(m_filter.get()));
    }
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(m_filter->QueryInterface(IID_IAMFilterMiscFlags, flags.putVoid()), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), AM_FILTER_MISC_FLAGS_IS_RENDERER);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(flags->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
    void* nothing = &unknown;
    EXPECT_EQ(flags->QueryInterface(IID_IAMFilterMiscFlags, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr);
    nothing = &unknown;
    EXPECT_EQ(m_filter->QueryInterface(IID_IPin, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr);

    ComPtr<IPin> pin;
    EXPECT_EQ(m_filter->FindPin(L"Other", pin.put()), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin.get(), nullptr);
    EXPECT_EQ(m_filter->FindPin(nullptr, pin.put()), E_POINTER);

    FILTER_INFO filterInfo;
    ASSERT_EQ(m_filter->QueryFilterInfo(&filterInfo), S_OK);
    EXPECT_STREQ(filterInfo.achName, L"Capture Filter");
    EXPECT_EQ(filterInfo.pGraph, nullptr);

    PIN_INFO pinInfo;
    ASSERT_EQ(m_pin->QueryPinInfo(&pinInfo), S_OK);
    EXPECT_STREQ(pinInfo.achName, L"Video Capture");
    EXPECT_EQ(pinInfo.dir, PINDIR_INPUT);
    EXPECT_EQ(pinInfo.pFilter, static_cast<IBaseFilter*>(m_filter.get()));
    pinInfo.pFilter->Release();
    wchar_t* id = nullptr;
    ASSERT_EQ(m_pin->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Capture Pin");
    CoTaskMemFree(id);

    ComPtr<CaptureFilter> audio(new CaptureFilter({ nullptr, MEDIATYPE_Audio, GUID_NULL }));
    ComPtr<IPin> audioPin;
    ASSERT_EQ(audio->FindPin(L"Capture Pin", audioPin.put()), S_OK);
    ASSERT_EQ(audioPin->QueryPinInfo(&pinInfo), S_OK);
    EXPECT_STREQ(pinInfo.achName, L"Audio Capture");
    pinInfo.pFilter->Release();

    // An audio sink needs no picture in its format block.
    AM_MEDIA_TYPE wave;
    wave.majortype = MEDIATYPE_Audio;
    wave.formattype = FORMAT_WaveFormatEx;
    wave.setFormat(nullptr, sizeof(WAVEFORMATEX));
    EXPECT_EQ(audioPin->QueryAccept(&wave), S_OK);
}

// A filter that counts its own deletion.
int g_deleted = 0;
class CountedFilter : public CaptureFilter {
public:
    using CaptureFilter::CaptureFilter;
    ~CountedFilter() override { ++g_deleted; }
};

TEST(CaptureFilterLifetimeTest, DeletesItselfAtTheLastRelease)
{
    g_deleted = 0;
    IBaseFilter* filter = new CountedFilter(PinCaptureInfo { nullptr, MEDIATYPE_Video, MEDIASUBTYPE_I420 });
    EXPECT_EQ(filter->AddRef(), 1u); // the creator's reference

    IPin* pin = nullptr;
    ASSERT_EQ(filter->FindPin(L"Capture Pin", &pin), S_OK);
    IEnumPins* pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK); // holds the filter
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK); // holds the pin
    IAMFilterMiscFlags* flags = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(&flags)), S_OK);
    flags->Release();

    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(
                  CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid()),
        S_OK);
    ASSERT_EQ(graph->AddFilter(filter, L"Sink"), S_OK);
    ASSERT_EQ(graph->RemoveFilter(filter), S_OK);

    EXPECT_EQ(filter->Release(), 1u); // the enumerator still holds it
    EXPECT_EQ(g_deleted, 0);
    pins->Release();
    EXPECT_EQ(g_deleted, 1);
    types->Release(); // the pin outlived its filter only through this reference
    pin->Release();
}

} // namespace
