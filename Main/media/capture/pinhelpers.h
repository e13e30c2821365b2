#pragma once

// Finding pins and filters in a capture graph, and connecting filters pin by pin. Each returns whether it
// found or did something; out-pointers come back referenced. Callers own their COM thread.

#include "media/capture/dshowcapture.h"

namespace DShow {

// The first pin of the direction whose major type matches (any capability of its stream configuration,
// else the first media type it enumerates) and whose pin category is `category`.
bool GetFilterPin(IBaseFilter* filter, const GUID& type, const GUID& category, PIN_DIRECTION dir, IPin** pin);
// The first pin of the direction named exactly `name`; a null name takes the first pin of the direction.
bool GetPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const wchar_t* name, IPin** pin);
bool GetPinByMedium(IBaseFilter* filter, const REGPINMEDIUM& medium, IPin** pin);
// The first medium of the pin that is neither null nor the standard set.
bool GetPinMedium(IPin* pin, REGPINMEDIUM& medium);
HRESULT GetPinCategory(IPin* pin, GUID& category);
// The first device of the category with a pin of that medium.
bool GetFilterByMedium(const GUID& category, const REGPINMEDIUM& medium, IBaseFilter** filter);

// Connects every free output pin of `from` to the first free input pin of `to` that takes it; true when
// any output pin got connected.
bool DirectConnectFilters(IFilterGraph* graph, IBaseFilter* from, IBaseFilter* to);

// The demultiplexer's output pins of the transport-stream devices.
bool CreateDemuxVideoPin(IBaseFilter* demuxFilter, AM_MEDIA_TYPE& mt, long width, long height,
    long long frameTime, VideoFormat format);
bool CreateDemuxAudioPin(IBaseFilter* demuxFilter, AM_MEDIA_TYPE& mt, unsigned long samplesPerSec,
    unsigned short bitsPerSample, unsigned short channels, AudioFormat format);

} // namespace DShow
