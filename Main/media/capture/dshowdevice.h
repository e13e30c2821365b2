#pragma once

// One video capture device: builds a graph from the device's filter to the library's sink, chooses the
// device's media type, starts the graph and turns each sample into a call of the configuration's video
// callback. Every operation runs on the caller's thread; samples and callbacks come on the source's
// streaming thread. Failures are reported by the return values, the reasons through the capture log.

#include "media/capture/dshowcapture.h"

#include <memory>

namespace DShow {

enum class InitGraph : int { False = 0, True = 1 };
enum class Result : int { Success = 0, InUse = 1, Error = 2 };
enum class DialogType : int { ConfigVideo = 0, ConfigAudio = 1, ConfigCrossbar = 2, ConfigCrossbar2 = 3 };

struct HDevice;

class Device {
public:
    explicit Device(InitGraph initialize = InitGraph::False);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // A new graph in place of the old one; false when it cannot be created.
    bool ResetGraph();
    // Drops the graph; nothing works again until ResetGraph.
    void ShutdownGraph();

    // Chooses the device and its format; on success the caller's configuration becomes the one chosen. A
    // null configuration clears the video path.
    bool SetVideoConfig(VideoConfig* config);
    bool ConnectFilters();
    Result Start();
    // Our filters have no property pages: nothing is shown.
    void OpenDialog(void* owner, DialogType type) const;

    static bool EnumVideoDevices(std::vector<VideoDevice>& devices);

private:
    std::unique_ptr<HDevice> context;
};

} // namespace DShow
