// Identifiers, result texts and media types.
#include <capture/hresult.h>
#include <capture/mediatype.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

struct ResultText {
    HRESULT code;
    const wchar_t* text;
};

// The codes this library produces, described once.
constexpr ResultText kResultTexts[] = {
    { S_OK, L"The operation completed successfully." },
    { S_FALSE, L"The operation completed, with a negative answer." },
    { E_NOTIMPL, L"Not implemented." },
    { E_NOINTERFACE, L"No such interface supported." },
    { E_POINTER, L"Invalid pointer." },
    { E_ABORT, L"Operation aborted." },
    { E_FAIL, L"Unspecified error." },
    { E_UNEXPECTED, L"Catastrophic failure." },
    { E_OUTOFMEMORY, L"Not enough memory resources are available to complete this operation." },
    { E_INVALIDARG, L"The parameter is incorrect." },
    { REGDB_E_CLASSNOTREG, L"Class not registered." },
    { HRESULT_DEVICE_NOT_FUNCTIONING, L"A device attached to the system is not functioning." },
    { VFW_E_INVALIDMEDIATYPE, L"The specified media type is invalid." },
    { VFW_E_ALREADY_CONNECTED, L"The operation cannot be performed because the pins are already connected." },
    { VFW_E_NO_ACCEPTABLE_TYPES, L"No combination of media types was found for this connection." },
    { VFW_E_NOT_CONNECTED, L"The operation cannot be performed because the pins are not connected." },
    { VFW_E_NO_ALLOCATOR, L"No sample buffer allocator is available." },
    { VFW_E_NOT_FOUND, L"An object or name was not found." },
    { VFW_E_CANNOT_CONNECT,
        L"No combination of intermediate filters could be found to make the connection." },
    { VFW_E_NOT_STOPPED, L"The operation could not be performed because the filter is not stopped." },
    { VFW_E_TYPE_NOT_ACCEPTED, L"This media type is not accepted by the pin." },
    { VFW_E_WRONG_STATE, L"The operation could not be performed because the filter is in the wrong state." },
    { MakeResult(0x80070492), L"Element not found." },
    { MakeResult(0x80070490), L"Element not found." },
};

} // namespace

bool IsFourCCGuid(const GUID& guid) { return guid == FourCCGuid(guid.Data1); }

std::wstring GuidToString(const GUID& guid)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
        guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
        guid.Data4[6], guid.Data4[7]);
    return text;
}

std::wstring DescribeResult(HRESULT hr)
{
    if (IsErrnoResult(hr)) {
        char buffer[256];
        const char* text = strerror_r(static_cast<int>(hr & 0xFFFF), buffer, sizeof buffer);
        std::wstring wide;
        for (const char* p = text; *p; ++p)
            wide.push_back(static_cast<unsigned char>(*p));
        return wide;
    }
    for (const ResultText& entry : kResultTexts) {
        if (entry.code == hr)
            return entry.text;
    }
    return {};
}

AM_MEDIA_TYPE::AM_MEDIA_TYPE(const AM_MEDIA_TYPE& other)
    : majortype(other.majortype)
    , subtype(other.subtype)
    , bFixedSizeSamples(other.bFixedSizeSamples)
    , bTemporalCompression(other.bTemporalCompression)
    , lSampleSize(other.lSampleSize)
    , formattype(other.formattype)
    , pUnk(other.pUnk)
{
    if (pUnk)
        pUnk->AddRef();
    if (other.pbFormat && other.cbFormat && !setFormat(other.pbFormat, other.cbFormat))
        throw std::bad_alloc();
}

AM_MEDIA_TYPE::AM_MEDIA_TYPE(AM_MEDIA_TYPE&& other) noexcept { swap(other); }

AM_MEDIA_TYPE& AM_MEDIA_TYPE::operator=(const AM_MEDIA_TYPE& other)
{
    if (this != &other) {
        AM_MEDIA_TYPE copy(other);
        swap(copy);
    }
    return *this;
}

AM_MEDIA_TYPE& AM_MEDIA_TYPE::operator=(AM_MEDIA_TYPE&& other) noexcept
{
    AM_MEDIA_TYPE taken(std::move(other));
    swap(taken);
    return *this;
}

AM_MEDIA_TYPE::~AM_MEDIA_TYPE()
{
    freeFormat();
    if (pUnk)
        pUnk->Release();
}

bool AM_MEDIA_TYPE::setFormat(const void* data, ULONG size)
{
    freeFormat();
    if (!size)
        return true;
    auto* block = static_cast<uint8_t*>(CoTaskMemAlloc(size));
    if (!block)
        return false;
    if (data)
        std::memcpy(block, data, size);
    else
        std::memset(block, 0, size);
    pbFormat = block;
    cbFormat = size;
    return true;
}

void AM_MEDIA_TYPE::freeFormat()
{
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

void AM_MEDIA_TYPE::swap(AM_MEDIA_TYPE& other) noexcept
{
    std::swap(majortype, other.majortype);
    std::swap(subtype, other.subtype);
    std::swap(bFixedSizeSamples, other.bFixedSizeSamples);
    std::swap(bTemporalCompression, other.bTemporalCompression);
    std::swap(lSampleSize, other.lSampleSize);
    std::swap(formattype, other.formattype);
    std::swap(pUnk, other.pUnk);
    std::swap(cbFormat, other.cbFormat);
    std::swap(pbFormat, other.pbFormat);
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    if (!source)
        return nullptr;
    try {
        return new AM_MEDIA_TYPE(*source);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) { delete type; }

BITMAPINFOHEADER* GetBitmapInfoHeader(const AM_MEDIA_TYPE& type)
{
    if (type.formattype == FORMAT_VideoInfo) {
        if (auto* info = type.formatAs<VIDEOINFOHEADER>())
            return &info->bmiHeader;
    } else if (type.formattype == FORMAT_VideoInfo2) {
        if (auto* info = type.formatAs<VIDEOINFOHEADER2>())
            return &info->bmiHeader;
    }
    return nullptr;
}
