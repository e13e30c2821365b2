#pragma once

// The reference for what hosting costs: a bare GStreamer pipeline (gst-launch-1.0) that encodes the shared
// test pattern with the publisher's own VP8 settings, in real time, into nothing. A hosting benchmark runs it
// beside the host and samples both (procstats::Sampler) to compare CPU share and resident set.

#include "support/child_program.h"
#include "support/proc_sampler.h"

#include <zovwebrtc/publisher.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hostcost {

// Draws picture `number` into 32-bit pixels, B, G, R, X in memory.
using Drawer = std::function<void(uint8_t* bgrx, int stride, int width, int height, uint32_t number)>;

// Writes `frames` pictures (numbers 0 .. frames-1) as raw I420 at the given size into `folder`, one file a
// picture named frameFile(folder, number), for a pipeline that loops them. The default drawer is the shared
// test pattern.
bool writePatternFrames(const std::string& folder, int width, int height, int frames, std::string& error,
    const Drawer& draw = Drawer());
std::string frameFile(const std::string& folder, int number);

// The arguments of gst-launch-1.0: the pictures in `folder` (0 .. frames-1, looped), paced to the settings'
// rate, through the publisher's VP8 encoder into a fake sink.
std::vector<std::string> referencePipeline(
    const zovwebrtc::PublisherSettings& settings, const std::string& folder, int frames);

// The reference pipeline as a running program. Its pictures (two seconds' worth) go to a folder in TMPDIR
// that stop() removes.
class ReferenceEncoder {
public:
    ReferenceEncoder() = default;
    ~ReferenceEncoder();
    ReferenceEncoder(const ReferenceEncoder&) = delete;
    ReferenceEncoder& operator=(const ReferenceEncoder&) = delete;

    bool start(
        const zovwebrtc::PublisherSettings& settings, std::string& error, const Drawer& draw = Drawer());
    pid_t pid() const { return m_program.pid(); }
    const std::string& folder() const { return m_folder; }
    void stop();

private:
    support::ChildProgram m_program;
    std::string m_folder;
    int m_frames = 0;
};

// What one sampled process cost over a window of its samples.
struct Cost {
    double cpuShare = 0; // 1.0: one core, from `fromSeconds` to `toSeconds`
    long rssFromKb = 0; // resident set at `fromSeconds`
    long rssToKb = 0; // resident set at `toSeconds` (the last sample when the run was shorter)
    double rssGrowth() const { return rssFromKb > 0 ? double(rssToKb - rssFromKb) / double(rssFromKb) : 0; }
};
// From the first sample at or after `fromSeconds` to the first at or after `toSeconds` (else the last).
Cost costBetween(const std::vector<procstats::Sample>& samples, double fromSeconds, double toSeconds);

} // namespace hostcost
