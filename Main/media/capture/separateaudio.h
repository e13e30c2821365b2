#pragma once

// Matching a video capture device to a separate audio device of the same card. Only cards of known
// vendors qualify; device paths of this system never name one, so no separate audio device is found here.

#include <capture/interfaces.h>

#include <string>

namespace DShow {

// The device instance id of a device path: upper-cased, without a leading "\\?\" or "\??\", cut at the
// last '#', every other '#' turned into '\'.
std::wstring ConvertDevicePathToInstanceId(const std::wstring& devicePath);
// Whether the instance id belongs to a capture card of a known vendor (USB or PCI).
bool IsKnownCaptureCardVendor(const std::wstring& instanceId);
// The names compared between the two devices: lower-cased, without the words that tell video and audio
// apart.
std::wstring NormalizeVideoDeviceName(const std::wstring& name);
std::wstring NormalizeAudioDeviceName(const std::wstring& name);

// The separate audio device of the card behind the video device path.
bool GetDeviceAudioFilter(const wchar_t* videoDevicePath, IBaseFilter** filter);

} // namespace DShow
