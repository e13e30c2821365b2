#pragma once

#include <QMetaType>

#include <cstdint>
#include <memory>
#include <vector>

// A planar I420 picture with an optional alpha plane, shared by pointer between the connection threads
// and the renderers. The capture and rendering code fills it; the shell only passes it on.
struct I420Frame {
    int width = 0;
    int height = 0;
    int rotation = 0;
    int strideY = 0;
    int strideU = 0;
    int strideV = 0;
    int strideA = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;
    std::vector<uint8_t> a;
};

using I420FramePtr = std::shared_ptr<I420Frame>;
Q_DECLARE_METATYPE(I420FramePtr)
