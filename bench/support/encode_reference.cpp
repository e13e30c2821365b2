#include "support/encode_reference.h"

#include <capture/testpattern.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace hostcost {

namespace {

    // BT.601, studio range, as the encoder's input expects; chroma from each 2×2 block's average.
    void toI420(const uint8_t* bgrx, int stride, int width, int height, std::vector<uint8_t>& out)
    {
        const int chromaWidth = (width + 1) / 2;
        const int chromaHeight = (height + 1) / 2;
        out.assign(size_t(width) * size_t(height) + 2 * size_t(chromaWidth) * size_t(chromaHeight), 0);
        uint8_t* y = out.data();
        uint8_t* u = y + size_t(width) * size_t(height);
        uint8_t* v = u + size_t(chromaWidth) * size_t(chromaHeight);
        for (int row = 0; row < height; ++row) {
            const uint8_t* pixel = bgrx + ptrdiff_t(row) * stride;
            for (int col = 0; col < width; ++col, pixel += 4)
                y[size_t(row) * size_t(width) + size_t(col)]
                    = uint8_t((66 * pixel[2] + 129 * pixel[1] + 25 * pixel[0] + 128) / 256 + 16);
        }
        for (int row = 0; row < chromaHeight; ++row) {
            for (int col = 0; col < chromaWidth; ++col) {
                int r = 0, g = 0, b = 0, n = 0;
                for (int dy = 0; dy < 2; ++dy) {
                    for (int dx = 0; dx < 2; ++dx) {
                        const int py = std::min(height - 1, row * 2 + dy);
                        const int px = std::min(width - 1, col * 2 + dx);
                        const uint8_t* pixel = bgrx + ptrdiff_t(py) * stride + px * 4;
                        b += pixel[0];
                        g += pixel[1];
                        r += pixel[2];
                        ++n;
                    }
                }
                r /= n;
                g /= n;
                b /= n;
                const size_t at = size_t(row) * size_t(chromaWidth) + size_t(col);
                u[at] = uint8_t((-38 * r - 74 * g + 112 * b + 128) / 256 + 128);
                v[at] = uint8_t((112 * r - 94 * g - 18 * b + 128) / 256 + 128);
            }
        }
    }

} // namespace

std::string frameFile(const std::string& folder, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%03d.i420", number);
    return folder + name;
}

bool writePatternFrames(
    const std::string& folder, int width, int height, int frames, std::string& error, const Drawer& draw)
{
    if (width <= 0 || height <= 0 || frames <= 0 || frames > 1000) {
        error = "invalid pattern size";
        return false;
    }
    std::vector<uint8_t> bgrx(size_t(width) * size_t(height) * 4);
    std::vector<uint8_t> i420;
    for (int number = 0; number < frames; ++number) {
        if (draw)
            draw(bgrx.data(), width * 4, width, height, uint32_t(number));
        else
            capture::testpattern::drawBgrx(bgrx.data(), width * 4, width, height, uint32_t(number));
        toI420(bgrx.data(), width * 4, width, height, i420);
        const std::string path = frameFile(folder, number);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(i420.data()), std::streamsize(i420.size()));
        out.close();
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

std::vector<std::string> referencePipeline(
    const zovwebrtc::PublisherSettings& settings, const std::string& folder, int frames)
{
    // gst-launch-1.0 takes one token per argument (a path with spaces stays one token). One picture a file,
    // so each buffer is one picture and nothing larger is held; clocksync paces them to real time, as a
    // camera or a screen would deliver them.
    std::vector<std::string> args = { "multifilesrc", "location=" + folder + "/frame-%03d.i420", "index=0",
        "stop-index=" + std::to_string(frames - 1), "loop=true", "!", "rawvideoparse", "format=i420",
        "width=" + std::to_string(settings.width), "height=" + std::to_string(settings.height),
        "framerate=" + std::to_string(settings.fps) + "/1", "!", "clocksync", "!" };
    std::istringstream encoder(zovwebrtc::vp8EncoderDescription(settings));
    for (std::string token; encoder >> token;)
        args.push_back(token);
    for (const char* tail : { "!", "fakesink", "sync=false" })
        args.emplace_back(tail);
    return args;
}

ReferenceEncoder::~ReferenceEncoder() { stop(); }

bool ReferenceEncoder::start(
    const zovwebrtc::PublisherSettings& settings, std::string& error, const Drawer& draw)
{
    stop();
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/encode-reference.XXXXXX";
    if (!::mkdtemp(folder.data())) {
        error = "cannot make a folder for the pictures";
        return false;
    }
    m_folder = folder;
    const int frames = std::clamp(settings.fps * 2, 1, 1000);
    m_frames = frames;
    if (!writePatternFrames(m_folder, settings.width, settings.height, frames, error, draw)) {
        stop();
        return false;
    }
    std::string ignored;
    if (!m_program.start("/usr/bin/gst-launch-1.0", referencePipeline(settings, m_folder, frames),
            "Setting pipeline to PLAYING", ignored, error)) {
        stop();
        return false;
    }
    return true;
}

void ReferenceEncoder::stop()
{
    m_program.stop(5000);
    if (!m_folder.empty()) {
        for (int number = 0; number < m_frames; ++number)
            std::remove(frameFile(m_folder, number).c_str());
        ::rmdir(m_folder.c_str());
        m_folder.clear();
        m_frames = 0;
    }
}

Cost costBetween(const std::vector<procstats::Sample>& samples, double fromSeconds, double toSeconds)
{
    Cost cost;
    if (samples.empty())
        return cost;
    const auto at = [&](double seconds) {
        const auto found = std::find_if(samples.begin(), samples.end(),
            [seconds](const procstats::Sample& sample) { return sample.seconds >= seconds; });
        return found == samples.end() ? samples.back() : *found;
    };
    const procstats::Sample from = at(fromSeconds);
    const procstats::Sample to = at(toSeconds);
    cost.cpuShare = procstats::cpuShare(from, to);
    cost.rssFromKb = from.rssKb;
    cost.rssToKb = to.rssKb;
    return cost;
}

} // namespace hostcost
