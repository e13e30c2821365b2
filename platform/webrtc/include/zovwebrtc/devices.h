#pragma once

// The cameras as the WebRTC layer lists them, over the capture graph's system device enumerator: the name is
// the device's friendly name, the unique id its device path (the name when it has none), and each capability
// of its video capture pin gives one mode: the largest size, the height without its sign, and the frame
// rate of the shortest interval, rounded. Texts are UTF-8.
//
// list_device_num takes a fresh listing; get_device_name reads the last one (taking one when there is none
// yet), so indexes stay those of the count the caller was given. Any thread may call; calls are serialised.

namespace zovwebrtc {

// The number of cameras, from a fresh listing.
unsigned list_device_num();

// Writes the name and unique id of camera `index`, each NUL-terminated. False, with nothing written, when
// the index is out of range, a buffer is null or not positive in size, or a text (with its NUL) does not
// fit its buffer.
bool get_device_name(unsigned index, char* name, int nameSize, char* uniqueId, int idSize);

// Writes the modes of the camera with that unique id into entries 0 … n − 1 of the three arrays, at most
// 1024 of them, and returns n; 0 for an unknown id or null arguments.
int list_device_capability(const char* uniqueId, int* widths, int* heights, int* fps);

inline constexpr int kMaxDeviceCapabilities = 1024;

} // namespace zovwebrtc
