#include "mediasample.h"

#include <limits>

namespace capture {

MediaSample::MediaSample(size_t size)
    : m_buffer(size)
    , m_length(static_cast<long>(size))
{
}

HRESULT MediaSample::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample) {
        *object = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG MediaSample::AddRef() { return ++m_refs; }

ULONG MediaSample::Release()
{
    const ULONG refs = --m_refs;
    if (!refs)
        delete this;
    return refs;
}

HRESULT MediaSample::GetPointer(uint8_t** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_buffer.data();
    return S_OK;
}

long MediaSample::GetSize() { return static_cast<long>(m_buffer.size()); }

HRESULT MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!m_hasTime)
        return VFW_E_NOT_FOUND;
    *start = m_start;
    *stop = m_stop;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    m_hasTime = start && stop;
    m_start = start ? *start : 0;
    m_stop = stop ? *stop : 0;
    return S_OK;
}

HRESULT MediaSample::IsSyncPoint() { return m_syncPoint ? S_OK : S_FALSE; }

HRESULT MediaSample::SetSyncPoint(bool syncPoint)
{
    m_syncPoint = syncPoint;
    return S_OK;
}

HRESULT MediaSample::IsPreroll() { return m_preroll ? S_OK : S_FALSE; }

HRESULT MediaSample::SetPreroll(bool preroll)
{
    m_preroll = preroll;
    return S_OK;
}

long MediaSample::GetActualDataLength() { return m_length; }

HRESULT MediaSample::SetActualDataLength(long length)
{
    if (length < 0 || static_cast<size_t>(length) > m_buffer.size())
        return E_INVALIDARG;
    m_length = length;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    *type = nullptr;
    if (!m_changedType)
        return S_FALSE;
    *type = CreateMediaType(m_changedType.get());
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    if (type)
        setChangedType(*type);
    else
        m_changedType.reset();
    return S_OK;
}

HRESULT MediaSample::IsDiscontinuity() { return m_discontinuity ? S_OK : S_FALSE; }

HRESULT MediaSample::SetDiscontinuity(bool discontinuity)
{
    m_discontinuity = discontinuity;
    return S_OK;
}

HRESULT MediaSample::GetMediaTime(int64_t*, int64_t*) { return VFW_E_NOT_FOUND; }

HRESULT MediaSample::SetMediaTime(int64_t*, int64_t*) { return E_NOTIMPL; }

} // namespace capture
