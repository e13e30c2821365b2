// V4L2 cameras: listing and capabilities through the io seam.
#include <capture/v4l2camera.h>

#include "mediasample.h"
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
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <thread>
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

    // One plane's rows: how many, the bytes of each in the graph's layout, and the driver's row pitch.
    struct PlaneRows {
        size_t rows;
        size_t rowBytes;
        size_t driverPitch;
        size_t pixelBytes; // of a row, without any padding
    };

    // The planes of an uncompressed picture whose first plane's rows the driver pads to `bytesPerLine`, in
    // the order both layouts keep them; empty for coded formats. The graph's rows are unpadded except RGB's,
    // which are padded to 4 bytes (frameBytes).
    std::vector<PlaneRows> planeRows(const GUID& subtype, size_t width, size_t height, size_t bytesPerLine)
    {
        const size_t halfWidth = (width + 1) / 2;
        const size_t halfHeight = (height + 1) / 2;
        if (subtype == MEDIASUBTYPE_RGB24)
            return { { height, (width * 3 + 3) & ~size_t(3), bytesPerLine, width * 3 } };
        if (subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_ARGB32)
            return { { height, width * 4, bytesPerLine, width * 4 } };
        if (subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_YVYU || subtype == MEDIASUBTYPE_UYVY)
            return { { height, width * 2, bytesPerLine, width * 2 } };
        if (subtype == MEDIASUBTYPE_Y800)
            return { { height, width, bytesPerLine, width } };
        if (subtype == MEDIASUBTYPE_NV12)
            return { { height, width, bytesPerLine, width }, { halfHeight, width, bytesPerLine, width } };
        if (subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_YV12)
            return { { height, width, bytesPerLine, width }, { halfHeight, halfWidth, bytesPerLine / 2, halfWidth },
                { halfHeight, halfWidth, bytesPerLine / 2, halfWidth } };
        return {};
    }

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

        void* mmap(int fd, size_t length, int64_t offset) override
        {
            void* address
                = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(offset));
            return address == MAP_FAILED ? nullptr : address;
        }

        void munmap(void* address, size_t length) override { ::munmap(address, length); }

        int poll(int fd, int timeoutMs) override
        {
            pollfd entry { fd, POLLIN, 0 };
            const int result = ::poll(&entry, 1, timeoutMs);
            return result < 0 && errno == EINTR ? 0 : result;
        }
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

    HRESULT resultOf(int error)
    {
        return error == EBUSY ? HRESULT_DEVICE_NOT_FUNCTIONING : HRESULT_FROM_ERRNO(error);
    }

    class V4l2CameraFilter final : public SourceFilter {
    public:
        V4l2CameraFilter(
            V4l2Io& io, std::string node, std::wstring name, std::vector<SourceCapability> capabilities)
            : SourceFilter(std::move(name), std::move(capabilities))
            , m_io(io)
            , m_node(std::move(node))
        {
        }

    protected:
        ~V4l2CameraFilter() override { shutDown(); }

        HRESULT startStreaming(const AM_MEDIA_TYPE& type, IMemInputPin* input) override
        {
            const auto* info = type.formatAs<VIDEOINFOHEADER>();
            const uint32_t pixelFormat = v4l2FromSubtype(type.subtype);
            if (!info || !pixelFormat)
                return VFW_E_INVALIDMEDIATYPE;
            stopStreaming();

            m_fd = m_io.open(m_node);
            if (m_fd < 0)
                return resultOf(errno);
            m_bottomUp = rowsBottomUp(type);
            const HRESULT hr = prepare(pixelFormat, info->bmiHeader.biWidth,
                std::abs(info->bmiHeader.biHeight), info->AvgTimePerFrame);
            if (FAILED(hr)) {
                release();
                return hr;
            }
            m_stop = false;
            m_thread = std::thread(
                &V4l2CameraFilter::stream, this, info->AvgTimePerFrame, ComPtr<IMemInputPin>(input));
            return S_OK;
        }

        void stopStreaming() override
        {
            m_stop = true;
            if (m_thread.joinable())
                m_thread.join();
            release();
        }

    private:
        struct Buffer {
            void* address;
            size_t length;
        };

        HRESULT prepare(uint32_t pixelFormat, int width, int height, REFERENCE_TIME interval)
        {
            v4l2_format format {};
            format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            format.fmt.pix.width = static_cast<uint32_t>(width);
            format.fmt.pix.height = static_cast<uint32_t>(height);
            format.fmt.pix.pixelformat = pixelFormat;
            format.fmt.pix.field = V4L2_FIELD_ANY;
            if (m_io.ioctl(m_fd, VIDIOC_S_FMT, &format) < 0)
                return resultOf(errno);
            if (format.fmt.pix.pixelformat != pixelFormat || int(format.fmt.pix.width) != width
                || int(format.fmt.pix.height) != height)
                return VFW_E_INVALIDMEDIATYPE;
            // Padded rows are repacked as they arrive; a pitch shorter than a row is the driver's error.
            m_planes.clear();
            for (const PlaneRows& plane : planeRows(subtypeFromV4l2(pixelFormat), size_t(width), size_t(height),
                     format.fmt.pix.bytesperline)) {
                if (plane.driverPitch == 0) {
                    m_planes.clear();
                    break;
                }
                if (plane.driverPitch < plane.pixelBytes)
                    return VFW_E_INVALIDMEDIATYPE;
                m_planes.push_back(plane);
            }

            // A driver without rate control keeps its own rate.
            v4l2_streamparm parameters {};
            parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            parameters.parm.capture.timeperframe = { static_cast<uint32_t>(interval), 10000000 };
            m_io.ioctl(m_fd, VIDIOC_S_PARM, &parameters);

            v4l2_requestbuffers request {};
            request.count = 4;
            request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            request.memory = V4L2_MEMORY_MMAP;
            if (m_io.ioctl(m_fd, VIDIOC_REQBUFS, &request) < 0)
                return resultOf(errno);
            m_requested = true;
            for (uint32_t i = 0; i < request.count; ++i) {
                v4l2_buffer buffer {};
                buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                buffer.memory = V4L2_MEMORY_MMAP;
                buffer.index = i;
                if (m_io.ioctl(m_fd, VIDIOC_QUERYBUF, &buffer) < 0)
                    return resultOf(errno);
                void* address = m_io.mmap(m_fd, buffer.length, buffer.m.offset);
                if (!address)
                    return resultOf(errno);
                m_buffers.push_back({ address, buffer.length });
                if (m_io.ioctl(m_fd, VIDIOC_QBUF, &buffer) < 0)
                    return resultOf(errno);
            }
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (m_io.ioctl(m_fd, VIDIOC_STREAMON, &type) < 0)
                return resultOf(errno);
            m_streaming = true;
            return S_OK;
        }

        void release()
        {
            if (m_fd < 0)
                return;
            if (m_streaming) {
                int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                m_io.ioctl(m_fd, VIDIOC_STREAMOFF, &type);
                m_streaming = false;
            }
            for (const Buffer& buffer : m_buffers)
                m_io.munmap(buffer.address, buffer.length);
            m_buffers.clear();
            if (m_requested) {
                v4l2_requestbuffers request {};
                request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                request.memory = V4L2_MEMORY_MMAP;
                m_io.ioctl(m_fd, VIDIOC_REQBUFS, &request);
                m_requested = false;
            }
            m_io.close(m_fd);
            m_fd = -1;
        }

        void stream(REFERENCE_TIME interval, ComPtr<IMemInputPin> input)
        {
            bool haveFirst = false;
            REFERENCE_TIME first = 0;
            while (!m_stop) {
                if (m_io.poll(m_fd, 100) <= 0)
                    continue;
                v4l2_buffer buffer {};
                buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                buffer.memory = V4L2_MEMORY_MMAP;
                if (m_io.ioctl(m_fd, VIDIOC_DQBUF, &buffer) < 0)
                    continue;
                const bool usable = !(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.index < m_buffers.size()
                    && buffer.bytesused > 0 && buffer.bytesused <= m_buffers[buffer.index].length;
                if (usable) {
                    const REFERENCE_TIME stamp
                        = static_cast<REFERENCE_TIME>(buffer.timestamp.tv_sec) * 10000000
                        + buffer.timestamp.tv_usec * 10;
                    if (!haveFirst) {
                        first = stamp;
                        haveFirst = true;
                    }
                    ComPtr<MediaSample> sample = copyPicture(
                        static_cast<const uint8_t*>(m_buffers[buffer.index].address), buffer.bytesused);
                    if (!sample) {
                        m_io.ioctl(m_fd, VIDIOC_QBUF, &buffer);
                        continue;
                    }
                    REFERENCE_TIME start = stamp - first;
                    REFERENCE_TIME stop = start + interval;
                    sample->SetTime(&start, &stop);
                    input->Receive(sample);
                }
                m_io.ioctl(m_fd, VIDIOC_QBUF, &buffer);
            }
        }

        // The picture in the graph's layout: as it came, or its rows without the driver's padding; null
        // when it is short.
        ComPtr<MediaSample> copyPicture(const uint8_t* data, size_t used) const
        {
            bool padded = false;
            size_t driverBytes = 0; // up to the end of the last plane's last row
            size_t graphBytes = 0;
            size_t planeStart = 0;
            for (const PlaneRows& plane : m_planes) {
                padded = padded || plane.driverPitch != plane.rowBytes;
                driverBytes = planeStart + plane.driverPitch * (plane.rows - 1) + plane.pixelBytes;
                planeStart += plane.driverPitch * plane.rows;
                graphBytes += plane.rowBytes * plane.rows;
            }
            // The driver's RGB rows run top-down; a sink that asked for bottom-up ones gets them turned.
            const bool turn = m_bottomUp && !m_planes.empty();
            if (!padded && !turn) {
                ComPtr<MediaSample> sample(new MediaSample(used));
                std::memcpy(sample->data(), data, used);
                return sample;
            }
            if (used < driverBytes)
                return nullptr;
            ComPtr<MediaSample> sample(new MediaSample(graphBytes));
            uint8_t* out = sample->data();
            const uint8_t* in = data;
            for (const PlaneRows& plane : m_planes) {
                const size_t copied = plane.pixelBytes;
                for (size_t row = 0; row < plane.rows; ++row) {
                    const size_t from = turn ? plane.rows - 1 - row : row;
                    std::memcpy(out, in + from * plane.driverPitch, copied);
                    std::memset(out + copied, 0, plane.rowBytes - copied);
                    out += plane.rowBytes;
                }
                in += plane.driverPitch * plane.rows;
            }
            return sample;
        }

        V4l2Io& m_io;
        std::string m_node;
        std::vector<PlaneRows> m_planes; // of the current format; empty: samples go as they come
        bool m_bottomUp = false; // RGB rows asked bottom-up
        int m_fd = -1;
        bool m_requested = false;
        bool m_streaming = false;
        std::vector<Buffer> m_buffers;
        std::atomic<bool> m_stop { false };
        std::thread m_thread;
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
    *filter = new V4l2CameraFilter(currentV4l2Io(), camera.node, camera.name, std::move(list));
    (*filter)->AddRef();
    return S_OK;
}

} // namespace capture
