#pragma once

#include <cstdint>
#include <functional>

// One decoded picture in a buffer that the frame owns through its release function. The producer fills it
// right after construction; once it has been handed to another thread it is read-only. Not copyable: the
// release function runs exactly once, in the destructor.
class VideoFrame {
public:
    VideoFrame() = default;
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;
    virtual ~VideoFrame();

    uint8_t* data = nullptr;
    // Frees or returns the buffer; empty for a buffer that someone else owns.
    std::function<void()> release;
    uint32_t width = 0;
    uint32_t height = 0;
};
