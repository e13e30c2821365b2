#pragma once

// V4L2 cameras as capture source filters: every /dev/video* node whose device capabilities include video
// capture (metadata nodes are passed over), with capabilities from the driver's format, frame-size and
// frame-interval enumeration. Running, a filter sets the connected format and rate, maps the driver's
// buffers and delivers each filled one from a streaming thread of its own, with its time in 100-ns units
// from the first picture; buffers the driver flags as broken are dropped, and a device in use elsewhere
// (EBUSY) fails the run with 0x8007001F. All access to the devices goes through V4l2Io, so tests replay
// recorded answers and fake buffers in place of a driver.

#include <capture/catalog.h>

#include <string>
#include <vector>

namespace capture {

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // The video nodes, "/dev/videoN", in number order.
    virtual std::vector<std::string> nodes() = 0;
    // The link in /dev/v4l/<folder> ("by-id", "by-path") that resolves to the node, else empty.
    virtual std::string linkTo(const std::string& node, const char* folder) = 0;
    // A descriptor, or -1 with errno set.
    virtual int open(const std::string& node) = 0;
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void close(int fd) = 0;
    // Streaming: the driver's buffers mapped in, and waiting for a filled one (> 0 ready, 0 timed out).
    virtual void* mmap(int fd, size_t length, int64_t offset) = 0; // null on failure
    virtual void munmap(void* address, size_t length) = 0;
    virtual int poll(int fd, int timeoutMs) = 0;
};

V4l2Io& systemV4l2Io();
// Null restores the system's.
void setV4l2Io(V4l2Io* io);
V4l2Io& currentV4l2Io();

// The subtype of a V4L2 pixel format; GUID_NULL when there is none.
GUID subtypeFromV4l2(uint32_t pixelFormat);
// The V4L2 pixel format of a subtype; 0 when there is none.
uint32_t v4l2FromSubtype(const GUID& subtype);

// One capability of a V4L2 camera: one format and size range.
struct V4l2Capability {
    uint32_t pixelFormat;
    int minWidth;
    int minHeight;
    int maxWidth;
    int maxHeight;
    int stepWidth;
    int stepHeight;
    REFERENCE_TIME minInterval;
    REFERENCE_TIME maxInterval;
};

struct V4l2Camera {
    std::wstring name; // the card name, ':' replaced by '-'
    std::wstring path; // the by-id link, else the by-path link, else the node
    std::string node;
    std::vector<V4l2Capability> capabilities;
};

// The capture cameras, as the io answers.
std::vector<V4l2Camera> enumerateV4l2Cameras(V4l2Io& io);
std::vector<DeviceEntry> v4l2CameraEntries(V4l2Io& io);

HRESULT CreateV4l2Camera(const V4l2Camera& camera, IBaseFilter** filter);

} // namespace capture
