// V4L2 cameras: listing and capabilities through the io seam.
#include <capture/v4l2camera.h>

#include "sourcefilter.h"
#include "text.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace capture {
namespace {

    struct FormatPair {
        uint32_t pixelFormat;
        GUID subtype;
    };

    // B, G, R in memory is the RGB24 of the graph; B, G, R, X its RGB32.
    constexpr FormatPair kFormats[] = {
        { V4L2_PIX_FMT_YUYV, MEDIASUBTYPE_YUY2 },
        { V4L2_PIX_FMT_YVYU, MEDIASUBTYPE_YVYU },
        { V4L2_PIX_FMT_UYVY, MEDIASUBTYPE_UYVY },
        { V4L2_PIX_FMT_NV12, MEDIASUBTYPE_NV12 },
        { V4L2_PIX_FMT_YUV420, MEDIASUBTYPE_I420 },
        { V4L2_PIX_FMT_YVU420, MEDIASUBTYPE_YV12 },
        { V4L2_PIX_FMT_GREY, MEDIASUBTYPE_Y800 },
        { V4L2_PIX_FMT_P010, MEDIASUBTYPE_P010 },
        { V4L2_PIX_FMT_MJPEG, MEDIASUBTYPE_MJPG },
        { V4L2_PIX_FMT_JPEG, MEDIASUBTYPE_MJPG },
        { V4L2_PIX_FMT_H264, MEDIASUBTYPE_H264 },
        { V4L2_PIX_FMT_BGR24, MEDIASUBTYPE_RGB24 },
        { V4L2_PIX_FMT_XBGR32, MEDIASUBTYPE_RGB32 },
        { V4L2_PIX_FMT_BGR32, MEDIASUBTYPE_RGB32 },
        { V4L2_PIX_FMT_ABGR32, MEDIASUBTYPE_ARGB32 },
    };

    constexpr REFERENCE_TIME kUnlistedInterval = 333333;

    class SystemV4l2Io final : public V4l2Io {
    public:
        std::vector<std::string> nodes() override
        {
            std::vector<std::pair<long, std::string>> found;
            if (DIR* dir = opendir("/dev")) {
                while (dirent* entry = readdir(dir)) {
                    const char* name = entry->d_name;
                    if (std::strncmp(name, "video", 5) != 0 || !name[5])
                        continue;
                    char* end = nullptr;
                    const long number = std::strtol(name + 5, &end, 10);
                    if (*end)
                        continue;
                    found.emplace_back(number, std::string("/dev/") + name);
                }
                closedir(dir);
            }
            std::sort(found.begin(), found.end());
            std::vector<std::string> list;
            for (auto& entry : found)
                list.push_back(std::move(entry.second));
            return list;
        }

        std::string linkTo(const std::string& node, const char* folder) override
        {
            char target[PATH_MAX];
            if (!realpath(node.c_str(), target))
                return {};
            const std::string base = std::string("/dev/v4l/") + folder;
            DIR* dir = opendir(base.c_str());
            if (!dir)
                return {};
            std::vector<std::string> links;
            while (dirent* entry = readdir(dir)) {
                if (entry->d_name[0] == '.')
                    continue;
                const std::string link = base + "/" + entry->d_name;
                char resolved[PATH_MAX];
                if (realpath(link.c_str(), resolved) && std::strcmp(resolved, target) == 0)
                    links.push_back(link);
            }
            closedir(dir);
            std::sort(links.begin(), links.end());
            return links.empty() ? std::string() : links.front();
        }

        int open(const std::string& node) override
        {
            return ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        }

        int ioctl(int fd, unsigned long request, void* argument) override
        {
            int result;
            do {
                result = ::ioctl(fd, request, argument);
            } while (result < 0 && errno == EINTR);
            return result;
        }

        void close(int fd) override { ::close(fd); }
    };

    std::atomic<V4l2Io*> g_io { nullptr };

    REFERENCE_TIME toInterval(const v4l2_fract& fraction)
    {
        if (!fraction.denominator)
            return 0;
        return static_cast<REFERENCE_TIME>(
            (static_cast<uint64_t>(fraction.numerator) * 10000000u + fraction.denominator / 2)
            / fraction.denominator);
    }

    // The interval range the driver lists for a size; the default when it lists none.
    std::pair<REFERENCE_TIME, REFERENCE_TIME> intervalRange(
        V4l2Io& io, int fd, uint32_t pixelFormat, uint32_t width, uint32_t height)
    {
        REFERENCE_TIME minimum = 0, maximum = 0;
        for (uint32_t index = 0;; ++index) {
            v4l2_frmivalenum interval {};
            interval.index = index;
            interval.pixel_format = pixelFormat;
            interval.width = width;
            interval.height = height;
            if (io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
                break;
            REFERENCE_TIME low, high;
            if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                low = high = toInterval(interval.discrete);
            } else {
                low = toInterval(interval.stepwise.min);
                high = toInterval(interval.stepwise.max);
            }
            if (low > 0 && high >= low) {
                minimum = minimum ? std::min(minimum, low) : low;
                maximum = std::max(maximum, high);
            }
            if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
                break;
        }
        if (!minimum)
            return { kUnlistedInterval, kUnlistedInterval };
        return { minimum, maximum };
    }

    std::vector<V4l2Capability> capabilitiesOf(V4l2Io& io, int fd)
    {
        std::vector<V4l2Capability> list;
        for (uint32_t formatIndex = 0;; ++formatIndex) {
            v4l2_fmtdesc format {};
            format.index = formatIndex;
            format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (io.ioctl(fd, VIDIOC_ENUM_FMT, &format) < 0)
                break;
            if (subtypeFromV4l2(format.pixelformat) == GUID_NULL)
                continue;
            for (uint32_t sizeIndex = 0;; ++sizeIndex) {
                v4l2_frmsizeenum size {};
                size.index = sizeIndex;
                size.pixel_format = format.pixelformat;
                if (io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0)
                    break;
                V4l2Capability capability {};
                capability.pixelFormat = format.pixelformat;
                if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                    capability.minWidth = capability.maxWidth = static_cast<int>(size.discrete.width);
                    capability.minHeight = capability.maxHeight = static_cast<int>(size.discrete.height);
                    capability.stepWidth = capability.stepHeight = 1;
                } else {
                    capability.minWidth = static_cast<int>(size.stepwise.min_width);
                    capability.minHeight = static_cast<int>(size.stepwise.min_height);
                    capability.maxWidth = static_cast<int>(size.stepwise.max_width);
                    capability.maxHeight = static_cast<int>(size.stepwise.max_height);
                    capability.stepWidth = std::max(1, static_cast<int>(size.stepwise.step_width));
                    capability.stepHeight = std::max(1, static_cast<int>(size.stepwise.step_height));
                }
                if (capability.minWidth <= 0 || capability.minHeight <= 0
                    || capability.maxWidth < capability.minWidth
                    || capability.maxHeight < capability.minHeight)
                    continue;
                const auto range = intervalRange(io, fd, format.pixelformat,
                    static_cast<uint32_t>(capability.maxWidth), static_cast<uint32_t>(capability.maxHeight));
                capability.minInterval = range.first;
                capability.maxInterval = range.second;
                list.push_back(capability);
                if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE)
                    break;
            }
        }
        return list;
    }

    // Streaming from V4L2 cameras is not wired up yet: the filter lists and connects, and refuses to run.
    class V4l2CameraFilter final : public SourceFilter {
    public:
        using SourceFilter::SourceFilter;

    protected:
        ~V4l2CameraFilter() override { shutDown(); }
        HRESULT startStreaming(const AM_MEDIA_TYPE&, IMemInputPin*) override { return E_NOTIMPL; }
        void stopStreaming() override { }
    };

} // namespace

V4l2Io& systemV4l2Io()
{
    static SystemV4l2Io io;
    return io;
}

void setV4l2Io(V4l2Io* io) { g_io = io; }

V4l2Io& currentV4l2Io()
{
    V4l2Io* io = g_io;
    return io ? *io : systemV4l2Io();
}

GUID subtypeFromV4l2(uint32_t pixelFormat)
{
    for (const FormatPair& pair : kFormats) {
        if (pair.pixelFormat == pixelFormat)
            return pair.subtype;
    }
    return GUID_NULL;
}

uint32_t v4l2FromSubtype(const GUID& subtype)
{
    for (const FormatPair& pair : kFormats) {
        if (pair.subtype == subtype)
            return pair.pixelFormat;
    }
    return 0;
}

std::vector<V4l2Camera> enumerateV4l2Cameras(V4l2Io& io)
{
    std::vector<V4l2Camera> cameras;
    for (const std::string& node : io.nodes()) {
        const int fd = io.open(node);
        if (fd < 0)
            continue;
        v4l2_capability capability {};
        if (io.ioctl(fd, VIDIOC_QUERYCAP, &capability) < 0) {
            io.close(fd);
            continue;
        }
        const uint32_t caps = capability.capabilities & V4L2_CAP_DEVICE_CAPS ? capability.device_caps
                                                                             : capability.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
            io.close(fd);
            continue;
        }
        V4l2Camera camera;
        const char* card = reinterpret_cast<const char*>(capability.card);
        camera.name = sanitizeDeviceName(widenUtf8(std::string(card, strnlen(card, sizeof capability.card))));
        camera.node = node;
        std::string path = io.linkTo(node, "by-id");
        if (path.empty())
            path = io.linkTo(node, "by-path");
        camera.path = widenUtf8(path.empty() ? node : path);
        camera.capabilities = capabilitiesOf(io, fd);
        io.close(fd);
        cameras.push_back(std::move(camera));
    }
    return cameras;
}

std::vector<DeviceEntry> v4l2CameraEntries(V4l2Io& io)
{
    std::vector<DeviceEntry> entries;
    for (V4l2Camera& camera : enumerateV4l2Cameras(io)) {
        DeviceEntry entry;
        entry.friendlyName = camera.name;
        entry.devicePath = camera.path;
        entry.createFilter = [camera](IBaseFilter** filter) { return CreateV4l2Camera(camera, filter); };
        entries.push_back(std::move(entry));
    }
    return entries;
}

HRESULT CreateV4l2Camera(const V4l2Camera& camera, IBaseFilter** filter)
{
    if (!filter)
        return E_POINTER;
    std::vector<SourceCapability> list;
    for (const V4l2Capability& c : camera.capabilities) {
        list.push_back(makeCapability(subtypeFromV4l2(c.pixelFormat), c.minWidth, c.minHeight, c.maxWidth,
            c.maxHeight, c.stepWidth, c.stepHeight, c.minInterval, c.maxInterval));
    }
    *filter = new V4l2CameraFilter(camera.name, std::move(list));
    (*filter)->AddRef();
    return S_OK;
}

} // namespace capture
