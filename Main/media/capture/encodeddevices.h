#pragma once

// The fixed descriptions of the transport-stream devices (166833 is 59.94 frames per second).

#include "media/capture/dshowcapture.h"

namespace DShow {

inline constexpr EncodedDevice kC875Device { VideoFormat::H264, 0x44, 720, 480, 166833, AudioFormat::AAC,
    0x45, 48000 };
inline constexpr EncodedDevice kIT9910Device { VideoFormat::H264, 2001, 720, 480, 166833, AudioFormat::AAC,
    2002, 48000 };
inline constexpr EncodedDevice kHDPVRDevice { VideoFormat::H264, 0x1011, 720, 480, 166833, AudioFormat::AC3,
    0x1100, 48000 };
inline constexpr EncodedDevice kPin656Device { VideoFormat::H264, 0x1011, 720, 480, 166833, AudioFormat::AAC,
    0x1100, 48000 };
inline constexpr EncodedDevice kTSOutDevice { VideoFormat::H264, 0x1011, 720, 480, 166833, AudioFormat::AAC,
    0x10F, 48000 };

// Device names (substrings, case-sensitive) that select a description.
inline constexpr const wchar_t* kC875Names[] = { L"C875", L"Prif Streambox", L"C835" };
inline constexpr wchar_t kIT9910Name[] = L"IT9910";
inline constexpr wchar_t kHDPVRName[] = L"Hauppauge HD PVR Capture";
inline constexpr wchar_t kPin656Name[] = L"656";
inline constexpr wchar_t kTSOutPinName[] = L"TS Out";

} // namespace DShow
