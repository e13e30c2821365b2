// The synthetic camera draws the test pattern in 32-bit pixels and converts it to the connected format
// with libyuv, one picture per frame interval, on a thread of its own.
#include <capture/syntheticcamera.h>
#include <capture/testpattern.h>

#include "mediasample.h"
#include "sourcefilter.h"

#include <libyuv/convert_from_argb.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
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

    // Converts one picture of 32-bit pixels into the subtype's layout.
    void convert(const GUID& subtype, const uint8_t* bgrx, int width, int height, uint8_t* out)
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
            libyuv::ARGBToRGB24(bgrx, stride, out, (width * 3 + 3) & ~3, width, height);
        } else {
            std::memcpy(out, bgrx, static_cast<size_t>(stride) * height);
        }
    }

    class SyntheticCamera final : public SourceFilter {
    public:
        SyntheticCamera(std::wstring name, std::vector<SourceCapability> capabilities)
            : SourceFilter(std::move(name), std::move(capabilities))
        {
        }

    protected:
        ~SyntheticCamera() override { shutDown(); }

        HRESULT startStreaming(const AM_MEDIA_TYPE& type, IMemInputPin* input) override
        {
            const auto* info = type.formatAs<VIDEOINFOHEADER>();
            if (!info || !isRawSubtype(type.subtype) || info->AvgTimePerFrame <= 0)
                return VFW_E_INVALIDMEDIATYPE;
            stopStreaming();
            m_stop = false;
            m_thread = std::thread(&SyntheticCamera::stream, this, type.subtype, info->bmiHeader.biWidth,
                std::abs(info->bmiHeader.biHeight), info->AvgTimePerFrame, ComPtr<IMemInputPin>(input));
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
        void stream(GUID subtype, int width, int height, REFERENCE_TIME interval, ComPtr<IMemInputPin> input)
        {
            using Clock = std::chrono::steady_clock;
            const auto period
                = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(interval * 100));
            const size_t bytes = frameBytes(subtype, width, height);
            std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4);
            auto due = Clock::now();
            for (uint32_t number = 0;; ++number) {
                testpattern::drawBgrx(picture.data(), width * 4, width, height, number);
                ComPtr<MediaSample> sample(new MediaSample(bytes));
                convert(subtype, picture.data(), width, height, sample->data());
                REFERENCE_TIME start = static_cast<REFERENCE_TIME>(number) * interval;
                REFERENCE_TIME stop = start + interval;
                sample->SetTime(&start, &stop);
                input->Receive(sample);
                sample.reset();

                due += period;
                const auto now = Clock::now();
                if (due + period < now)
                    due = now; // a slow receiver: no burst of late pictures
                std::unique_lock lock(m_mutex);
                if (m_wake.wait_until(lock, due, [this] { return m_stop; }))
                    return;
            }
        }

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

DeviceEntry syntheticCameraEntry(const std::wstring& name, std::vector<SyntheticCapability> capabilities)
{
    DeviceEntry entry;
    entry.friendlyName = name;
    entry.devicePath = syntheticCameraPath(name);
    entry.createFilter = [name, capabilities](IBaseFilter** filter) {
        return CreateSyntheticCamera(name, capabilities, filter);
    };
    return entry;
}

HRESULT CreateSyntheticCamera(
    const std::wstring& name, std::vector<SyntheticCapability> capabilities, IBaseFilter** filter)
{
    if (!filter)
        return E_POINTER;
    *filter = nullptr;
    std::vector<SourceCapability> list;
    for (const SyntheticCapability& c : capabilities) {
        if (!isRawSubtype(c.subtype) || c.width <= 0 || c.height <= 0 || c.width % 2 || c.height % 2
            || c.minInterval <= 0 || c.maxInterval < c.minInterval)
            return E_INVALIDARG;
        list.push_back(makeCapability(
            c.subtype, c.width, c.height, c.width, c.height, 1, 1, c.minInterval, c.maxInterval));
    }
    *filter = new SyntheticCamera(name, std::move(list));
    (*filter)->AddRef();
    return S_OK;
}

} // namespace capture
