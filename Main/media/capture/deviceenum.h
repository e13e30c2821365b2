#pragma once

// Listing capture devices with their capabilities, looking up a device's filter, and choosing the media
// type closest to a wanted configuration. Enumerations are serialised by one process-wide recursive
// mutex; callbacks run inside it on the caller's thread. Results are reported by the return value, the
// reasons through the capture log.

#include "media/capture/dshowcapture.h"

#include <functional>

namespace DShow {

// Gets (param, filter, friendly name, device path or null); returns false to stop the walk.
using EnumDeviceCallback
    = bool (*)(void* param, IBaseFilter* filter, const wchar_t* deviceName, const wchar_t* devicePath);

bool EnumDevices(const GUID& type, EnumDeviceCallback callback, void* param);
// Clears the list and fills it with the video capture devices.
bool EnumVideoDevices(std::vector<VideoDevice>& devices);
// The device of that name (any name when empty); an exact name-and-path match wins, else the last device
// of the name.
bool GetDeviceFilter(const GUID& type, const wchar_t* name, const wchar_t* path, IBaseFilter** filter);

// Walks the pin's capabilities: (media type, capability block or null); the consumer returns false to end
// the walk early. False when the pin has no stream configuration or its capabilities cannot be read.
using PinCapsCallback = std::function<bool(const AM_MEDIA_TYPE& mt, const uint8_t* caps)>;
bool EnumPinCaps(IPin* pin, const PinCapsCallback& callback);

// The capability range of a FORMAT_VideoInfo type of known format; false for any other type.
bool GetVideoInfo(const AM_MEDIA_TYPE& mt, const uint8_t* caps, VideoInfo& info);

// The device's capture type that fits the configuration best, adjusted to the wanted size and interval
// where its range allows.
bool GetClosestVideoMediaType(IBaseFilter* filter, const VideoConfig& config, AM_MEDIA_TYPE& mt);

} // namespace DShow
