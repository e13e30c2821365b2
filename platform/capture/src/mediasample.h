#pragma once

// A sample a source hands to the pin it feeds: its own buffer, times and an optional type change.

#include <capture/interfaces.h>

#include <atomic>
#include <memory>
#include <vector>

namespace capture {

class MediaSample final : public IMediaSample {
public:
    explicit MediaSample(size_t size);

    uint8_t* data() { return m_buffer.data(); }
    void setChangedType(const AM_MEDIA_TYPE& type) { m_changedType = std::make_unique<AM_MEDIA_TYPE>(type); }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(uint8_t** buffer) override;
    long GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(bool syncPoint) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(bool preroll) override;
    long GetActualDataLength() override;
    HRESULT SetActualDataLength(long length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(bool discontinuity) override;
    HRESULT GetMediaTime(int64_t* start, int64_t* stop) override;
    HRESULT SetMediaTime(int64_t* start, int64_t* stop) override;

private:
    ~MediaSample() = default;

    std::atomic<ULONG> m_refs { 0 };
    std::vector<uint8_t> m_buffer;
    long m_length;
    bool m_hasTime = false;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = 0;
    bool m_syncPoint = true;
    bool m_preroll = false;
    bool m_discontinuity = false;
    std::unique_ptr<AM_MEDIA_TYPE> m_changedType;
};

} // namespace capture
