#pragma once

#include <string>

// Whether a GStreamer source description can be opened now: it is built and brought to PAUSED (an audio source
// connects to its sound server or device on the way, other sources open their input), then dropped. False
// with the reason when it cannot.
bool soundSourceOpens(const std::string& description, std::string* why);

// What stands in for a sound source that is off or cannot be opened: live silence.
inline constexpr char kSilentSoundSource[] = "audiotestsrc is-live=true wave=silence";
