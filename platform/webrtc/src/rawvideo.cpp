#include "rawvideo.h"

#include "gstcommon.h"

#include <cstring>

namespace zovwebrtc {
namespace rawvideo {

    namespace {

        // The bytes of one row of `plane`: its first component's width times its pixel stride.
        bool planeRow(const GstVideoInfo& info, guint plane, gsize& rowBytes, gsize& rows)
        {
            const GstVideoFormatInfo* format = info.finfo;
            for (guint component = 0; component < GST_VIDEO_FORMAT_INFO_N_COMPONENTS(format); ++component) {
                if (GST_VIDEO_FORMAT_INFO_PLANE(format, component) != plane)
                    continue;
                const int pixelStride = GST_VIDEO_FORMAT_INFO_PSTRIDE(format, component);
                rowBytes = gsize(GST_VIDEO_INFO_COMP_WIDTH(&info, component)) * gsize(pixelStride > 0 ? pixelStride : 1);
                rows = gsize(GST_VIDEO_INFO_COMP_HEIGHT(&info, component));
                return true;
            }
            return false;
        }

    } // namespace

    std::string sourceDescription(const std::string& name, const std::string& caps)
    {
        return "appsrc name=" + name
            + " is-live=true do-timestamp=true format=time block=false max-bytes=0 leaky-type=downstream"
              " max-buffers="
            + std::to_string(kQueuedPictures) + " caps=\"" + caps + "\"";
    }

    std::string rawCaps(const char* format, int width, int height, int fps)
    {
        return std::string("video/x-raw,format=") + format + ",width=" + std::to_string(width)
            + ",height=" + std::to_string(height) + ",framerate=" + std::to_string(fps) + "/1";
    }

    bool packedPlanes(const GstVideoInfo& info, const uint8_t* data, size_t length, const uint8_t* planes[3],
        int strides[3])
    {
        const guint count = GST_VIDEO_INFO_N_PLANES(&info);
        if (!data || count == 0 || count > 3)
            return false;
        gsize offset = 0;
        for (guint plane = 0; plane < count; ++plane) {
            gsize rowBytes = 0;
            gsize rows = 0;
            if (!planeRow(info, plane, rowBytes, rows) || rowBytes > gsize(G_MAXINT))
                return false;
            planes[plane] = data + offset;
            strides[plane] = int(rowBytes);
            offset += rowBytes * rows;
            if (offset > length)
                return false;
        }
        for (guint plane = count; plane < 3; ++plane) {
            planes[plane] = nullptr;
            strides[plane] = 0;
        }
        return true;
    }

    GstBuffer* copyPicture(const GstVideoInfo& info, const uint8_t* const planes[3], const int strides[3])
    {
        const guint count = GST_VIDEO_INFO_N_PLANES(&info);
        if (count == 0 || count > 3)
            return nullptr;
        for (guint plane = 0; plane < count; ++plane) {
            gsize rowBytes = 0;
            gsize rows = 0;
            if (!planes[plane] || !planeRow(info, plane, rowBytes, rows) || strides[plane] < 0
                || gsize(strides[plane]) < rowBytes)
                return nullptr;
        }
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        if (!buffer)
            return nullptr;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(buffer));
            return nullptr;
        }
        std::memset(map.data, 0, map.size);
        for (guint plane = 0; plane < count; ++plane) {
            gsize rowBytes = 0;
            gsize rows = 0;
            planeRow(info, plane, rowBytes, rows);
            uint8_t* out = map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, plane);
            const gsize outStride = gsize(GST_VIDEO_INFO_PLANE_STRIDE(&info, plane));
            for (gsize row = 0; row < rows; ++row)
                std::memcpy(out + row * outStride, planes[plane] + row * gsize(strides[plane]), rowBytes);
        }
        gst_buffer_unmap(buffer, &map);
        return buffer;
    }

} // namespace rawvideo
} // namespace zovwebrtc
