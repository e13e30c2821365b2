#pragma once

// Media types and the format blocks they carry. An AM_MEDIA_TYPE owns its format block: copies are deep,
// and the block is freed with the type.

#include <capture/unknown.h>

#include <cstdint>

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct SIZE {
    int32_t cx;
    int32_t cy;
};

inline constexpr uint32_t BI_RGB = 0;

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    uint32_t dwInterlaceFlags;
    uint32_t dwCopyProtectFlags;
    uint32_t dwPictAspectRatioX;
    uint32_t dwPictAspectRatioY;
    uint32_t dwControlFlags;
    uint32_t dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);

#pragma pack(push, 2)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// The capability block of one entry of a video pin's stream configuration.
struct VIDEO_STREAM_CONFIG_CAPS {
    GUID guid;
    uint32_t VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int32_t CropGranularityX;
    int32_t CropGranularityY;
    int32_t CropAlignX;
    int32_t CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int32_t OutputGranularityX;
    int32_t OutputGranularityY;
    int32_t StretchTapsX;
    int32_t StretchTapsY;
    int32_t ShrinkTapsX;
    int32_t ShrinkTapsY;
    int64_t MinFrameInterval;
    int64_t MaxFrameInterval;
    int32_t MinBitsPerSecond;
    int32_t MaxBitsPerSecond;
};
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);

struct AM_MEDIA_TYPE {
    GUID majortype {};
    GUID subtype {};
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    ULONG lSampleSize = 0;
    GUID formattype {};
    IUnknown* pUnk = nullptr; // counted when set
    ULONG cbFormat = 0;
    uint8_t* pbFormat = nullptr; // owned, CoTaskMemAlloc

    AM_MEDIA_TYPE() = default;
    AM_MEDIA_TYPE(const AM_MEDIA_TYPE& other);
    AM_MEDIA_TYPE(AM_MEDIA_TYPE&& other) noexcept;
    AM_MEDIA_TYPE& operator=(const AM_MEDIA_TYPE& other);
    AM_MEDIA_TYPE& operator=(AM_MEDIA_TYPE&& other) noexcept;
    ~AM_MEDIA_TYPE();

    // Replaces the format block with a copy of `size` bytes (zeroed when `data` is null); false when out
    // of memory, leaving no block.
    bool setFormat(const void* data, ULONG size);
    void freeFormat();
    // The format block as T when it is at least that large, else null.
    template <typename T> T* formatAs() const
    {
        return pbFormat && cbFormat >= sizeof(T) ? reinterpret_cast<T*>(pbFormat) : nullptr;
    }

    void swap(AM_MEDIA_TYPE& other) noexcept;
};

// A heap copy for out-parameters (enumerators, GetFormat, GetStreamCaps); the receiver frees it with
// DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
void DeleteMediaType(AM_MEDIA_TYPE* type);

// The bitmap header of a FORMAT_VideoInfo or FORMAT_VideoInfo2 type, else null.
BITMAPINFOHEADER* GetBitmapInfoHeader(const AM_MEDIA_TYPE& type);
