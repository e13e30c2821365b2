#pragma once

// The converter the capture graph builder puts between a source that delivers RGB24 and a sink that
// takes RGB32 only: one input pin (RGB24) and one output pin (RGB32 of the same size and rate). Samples
// are converted and passed on synchronously, on the source's streaming thread.

#include <capture/interfaces.h>

namespace capture {

// A new converter, referenced once for the caller.
HRESULT CreateRgb24ToRgb32Converter(IBaseFilter** filter);

} // namespace capture
