#include "ui/Dialog/cameralisting.h"

#include <zovwebrtc/devices.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The library promises terminated texts; a buffer without the terminator is not trusted at all.
bool terminated(const std::vector<char>& buffer)
{
    return std::memchr(buffer.data(), '\0', buffer.size()) != nullptr;
}

} // namespace

CameraEnumeration CameraEnumeration::library()
{
    return { zovwebrtc::list_device_num, zovwebrtc::get_device_name, zovwebrtc::list_device_capability };
}

QVector<CameraDevice> listCameraDevices(const CameraEnumeration& enumeration)
{
    QVector<CameraDevice> devices;
    const unsigned int count = enumeration.deviceCount();
    for (unsigned int index = 0; index < count; ++index) {
        std::vector<char> name(size_t(kCameraTextSize), '\0');
        std::vector<char> uniqueId(size_t(kCameraTextSize), '\0');
        if (!enumeration.deviceName(index, name.data(), kCameraTextSize, uniqueId.data(), kCameraTextSize))
            continue;
        if (!terminated(name) || !terminated(uniqueId))
            continue;
        devices.append({ QString::fromUtf8(name.data()), QString::fromUtf8(uniqueId.data()) });
    }
    return devices;
}

QVector<Capability> listCameraModes(const CameraEnumeration& enumeration, const QString& uniqueId)
{
    const QByteArray id = uniqueId.toUtf8();
    std::vector<int> widths(size_t(kCameraModeCapacity), 0);
    std::vector<int> heights(size_t(kCameraModeCapacity), 0);
    std::vector<int> fps(size_t(kCameraModeCapacity), 0);
    const int count
        = std::clamp(enumeration.capabilities(id.constData(), widths.data(), heights.data(), fps.data()), 0,
            kCameraModeCapacity);

    QVector<Capability> modes;
    modes.reserve(count);
    for (int i = 0; i < count; ++i)
        modes.append({ widths[size_t(i)], heights[size_t(i)], fps[size_t(i)] });
    return modes;
}
