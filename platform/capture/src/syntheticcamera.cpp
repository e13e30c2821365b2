// The synthetic camera draws the test pattern in 32-bit pixels and converts it to the connected format
// with libyuv, one picture per frame interval, on a thread of its own.
#include <capture/syntheticcamera.h>
#include <capture/testpattern.h>

#include "mediasample.h"
#include "pictureencoder.h"
#include "sourcefilter.h"

#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>

namespace capture {
namespace {

    constexpr GUID kRawSubtypes[]
        = { MEDIASUBTYPE_I420, MEDIASUBTYPE_NV12, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24 };

    bool isRawSubtype(const GUID& subtype)
    {
        for (const GUID& raw : kRawSubtypes) {
            if (raw == subtype)
                return true;
        }
        return false;
    }

    bool canMake(const GUID& subtype) { return isRawSubtype(subtype) || isCodedSubtype(subtype); }

    // Converts one picture of 32-bit pixels into the subtype's layout; RGB rows bottom-up when asked.
    void convert(const GUID& subtype, const uint8_t* bgrx, int width, int height, bool bottomUp, uint8_t* out)
    {
        const int stride = width * 4;
        const int chromaWidth = width / 2;
        if (subtype == MEDIASUBTYPE_I420) {
            uint8_t* y = out;
            uint8_t* u = y + width * height;
            uint8_t* v = u + chromaWidth * (height / 2);
            libyuv::ARGBToI420(bgrx, stride, y, width, u, chromaWidth, v, chromaWidth, width, height);
        } else if (subtype == MEDIASUBTYPE_NV12) {
            libyuv::ARGBToNV12(bgrx, stride, out, width, out + width * height, width, width, height);
        } else if (subtype == MEDIASUBTYPE_YUY2) {
            libyuv::ARGBToYUY2(bgrx, stride, out, width * 2, width, height);
        } else if (subtype == MEDIASUBTYPE_RGB24) {
            // A negative height reads the source from its last row up.
            libyuv::ARGBToRGB24(bgrx, stride, out, (width * 3 + 3) & ~3, width, bottomUp ? -height : height);
        } else {
            libyuv::ARGBCopy(bgrx, stride, out, stride, width, bottomUp ? -height : height);
        }
    }

    class SyntheticCamera final : public SourceFilter {
    public:
        SyntheticCamera(std::wstring name, std::vector<SourceCapability> capabilities,
            std::shared_ptr<SyntheticScript> script)
            : SourceFilter(std::move(name), std::move(capabilities))
            , m_script(script ? std::move(script) : std::make_shared<SyntheticScript>())
        {
        }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (iid == IID_IKsPropertySet && m_script->cardProperties && object)
                return m_script->cardProperties->QueryInterface(iid, object);
            return SourceFilter::QueryInterface(iid, object);
        }

    protected:
        ~SyntheticCamera() override { shutDown(); }

        HRESULT startStreaming(const AM_MEDIA_TYPE& type, IMemInputPin* input) override
        {
            const auto* info = type.formatAs<VIDEOINFOHEADER>();
            if (!info || !canMake(type.subtype) || info->AvgTimePerFrame <= 0)
                return VFW_E_INVALIDMEDIATYPE;
            if (m_script->busy)
                return HRESULT_DEVICE_NOT_FUNCTIONING;
            if (FAILED(m_script->runFailure))
                return m_script->runFailure;
            stopStreaming();
            m_stop = false;
            m_thread = std::thread(&SyntheticCamera::stream, this, type, ComPtr<IMemInputPin>(input));
            return S_OK;
        }

        void stopStreaming() override
        {
            {
                std::lock_guard lock(m_mutex);
                m_stop = true;
            }
            m_wake.notify_all();
            if (m_thread.joinable())
                m_thread.join();
        }

    private:
        struct Picture {
            GUID subtype;
            int width = 0;
            int height = 0;
            bool bottomUp = false; // RGB rows, as the connection asked
            std::vector<uint8_t> bgrx;
            std::unique_ptr<PictureEncoder> encoder;
        };

        static void resize(Picture& picture, int width, int height, REFERENCE_TIME interval)
        {
            picture.width = width;
            picture.height = height;
            picture.bgrx.assign(static_cast<size_t>(width) * height * 4, 0);
            picture.encoder = isCodedSubtype(picture.subtype)
                ? PictureEncoder::create(picture.subtype, width, height, interval)
                : nullptr;
        }

        // Switches to the scripted size when the sink takes it; the type to announce, if any.
        std::optional<AM_MEDIA_TYPE> changeFormat(
            Picture& picture, REFERENCE_TIME interval, IMemInputPin* input)
        {
            AM_MEDIA_TYPE type
                = makeVideoType(picture.subtype, m_script->changedWidth, m_script->changedHeight, interval);
            ComPtr<IPin> pin;
            if (FAILED(input->QueryInterface(IID_IPin, pin.putVoid())) || pin->QueryAccept(&type) != S_OK)
                return std::nullopt;
            resize(picture, m_script->changedWidth, m_script->changedHeight, interval);
            picture.bottomUp = false;
            return type;
        }

        void stream(AM_MEDIA_TYPE type, ComPtr<IMemInputPin> input)
        {
            using Clock = std::chrono::steady_clock;
            const auto* info = type.formatAs<VIDEOINFOHEADER>();
            const REFERENCE_TIME interval = info->AvgTimePerFrame;
            const auto period
                = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(interval * 100));
            Picture picture;
            picture.subtype = type.subtype;
            resize(picture, info->bmiHeader.biWidth, std::abs(info->bmiHeader.biHeight), interval);
            picture.bottomUp = rowsBottomUp(type);
            std::vector<uint8_t> coded;

            auto due = Clock::now();
            for (uint32_t number = 0;; ++number) {
                std::optional<AM_MEDIA_TYPE> changed;
                if (m_script->changeFormatAt == static_cast<int>(number))
                    changed = changeFormat(picture, interval, input);

                testpattern::drawBgrx(
                    picture.bgrx.data(), picture.width * 4, picture.width, picture.height, number);
                ComPtr<MediaSample> sample;
                if (picture.encoder) {
                    if (picture.encoder->encode(picture.bgrx.data(), number, coded) && !coded.empty()) {
                        sample = new MediaSample(coded.size());
                        std::copy(coded.begin(), coded.end(), sample->data());
                    }
                } else {
                    sample = new MediaSample(frameBytes(picture.subtype, picture.width, picture.height));
                    convert(picture.subtype, picture.bgrx.data(), picture.width, picture.height, picture.bottomUp,
                        sample->data());
                }
                if (sample) {
                    REFERENCE_TIME start = static_cast<REFERENCE_TIME>(number) * interval;
                    REFERENCE_TIME stop = start + interval;
                    sample->SetTime(&start, &stop);
                    if (changed)
                        sample->setChangedType(*changed);
                    if (m_script->shortSampleAt == static_cast<int>(number))
                        sample->SetActualDataLength(sample->GetActualDataLength() / 2);
                    ++m_script->delivered;
                    input->Receive(sample);
                    sample.reset();
                }

                due += period;
                const auto now = Clock::now();
                if (due + period < now)
                    due = now; // a slow receiver: no burst of late pictures
                std::unique_lock lock(m_mutex);
                if (m_wake.wait_until(lock, due, [this] { return m_stop; }))
                    return;
            }
        }

        std::shared_ptr<SyntheticScript> m_script;
        std::mutex m_mutex;
        std::condition_variable m_wake;
        bool m_stop = false;
        std::thread m_thread;
    };

} // namespace

std::vector<SyntheticCapability> defaultSyntheticCapabilities()
{
    std::vector<SyntheticCapability> capabilities;
    for (const SIZE size : { SIZE { 640, 480 }, SIZE { 1280, 720 } }) {
        for (const GUID& subtype : kRawSubtypes)
            capabilities.push_back({ subtype, size.cx, size.cy, kInterval30Fps, kInterval30Fps });
    }
    return capabilities;
}

std::wstring syntheticCameraPath(const std::wstring& name) { return L"synthetic/" + name; }

DeviceEntry syntheticCameraEntry(const std::wstring& name, std::vector<SyntheticCapability> capabilities,
    std::shared_ptr<SyntheticScript> script)
{
    DeviceEntry entry;
    entry.friendlyName = name;
    entry.devicePath = syntheticCameraPath(name);
    entry.createFilter = [name, capabilities, script](IBaseFilter** filter) {
        return CreateSyntheticCamera(name, capabilities, filter, script);
    };
    return entry;
}

HRESULT CreateSyntheticCamera(const std::wstring& name, std::vector<SyntheticCapability> capabilities,
    IBaseFilter** filter, std::shared_ptr<SyntheticScript> script)
{
    if (!filter)
        return E_POINTER;
    *filter = nullptr;
    std::vector<SourceCapability> list;
    for (const SyntheticCapability& c : capabilities) {
        if (!canMake(c.subtype) || c.width <= 0 || c.height <= 0 || c.width % 2 || c.height % 2
            || c.minInterval <= 0 || c.maxInterval < c.minInterval)
            return E_INVALIDARG;
        list.push_back(makeCapability(
            c.subtype, c.width, c.height, c.width, c.height, 1, 1, c.minInterval, c.maxInterval));
    }
    *filter = new SyntheticCamera(name, std::move(list), std::move(script));
    (*filter)->AddRef();
    return S_OK;
}

} // namespace capture
