#pragma once

#include "ui/Dialog/cameralisting.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Cameras a test lists in place of the WebRTC library, with what the library calls were handed.
struct FakeCameras {
    struct Camera {
        std::string name;
        std::string uniqueId;
        std::vector<Capability> modes;
        bool refuseName = false;
        // The count the library reports, in place of the number of modes.
        std::optional<int> reportedCount;
    };

    std::vector<Camera> cameras;
    std::vector<std::string> modesAskedFor;
    bool arraysZeroFilled = true;

    // A text too long for its buffer fills all of it, without a terminator, as a careless library would.
    static void write(char* buffer, int size, const std::string& text)
    {
        if (text.size() >= size_t(size))
            std::memcpy(buffer, text.data(), size_t(size));
        else
            std::memcpy(buffer, text.c_str(), text.size() + 1);
    }

    CameraEnumeration enumeration()
    {
        CameraEnumeration e;
        e.deviceCount = [this] { return static_cast<unsigned int>(cameras.size()); };
        e.deviceName
            = [this](unsigned int index, char* name, unsigned int nameSize, char* id, unsigned int idSize) {
                  const Camera& camera = cameras.at(index);
                  if (camera.refuseName || nameSize != kCameraTextSize || idSize != kCameraTextSize)
                      return false;
                  write(name, nameSize, camera.name);
                  write(id, idSize, camera.uniqueId);
                  return true;
              };
        e.capabilities = [this](const char* id, int* widths, int* heights, int* fps) {
            modesAskedFor.emplace_back(id);
            for (int i = 0; i < kCameraModeCapacity; ++i)
                arraysZeroFilled = arraysZeroFilled && widths[i] == 0 && heights[i] == 0 && fps[i] == 0;
            for (const Camera& camera : cameras) {
                if (camera.uniqueId != id)
                    continue;
                const int written = std::min<int>(int(camera.modes.size()), kCameraModeCapacity);
                for (int i = 0; i < written; ++i) {
                    widths[i] = camera.modes[size_t(i)].width;
                    heights[i] = camera.modes[size_t(i)].height;
                    fps[i] = camera.modes[size_t(i)].fps;
                }
                return camera.reportedCount.value_or(written);
            }
            return 0;
        };
        return e;
    }
};
