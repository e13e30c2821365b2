#pragma once

#include "media/videoframe.h"

#include <QMetaType>

#include <cstdint>
#include <functional>
#include <memory>

class I420Frame;
// Frames travel between threads by this pointer; the last reference destroys the frame and its buffer.
using I420FramePtr = std::shared_ptr<I420Frame>;

// A planar YUV 4:2:0 picture with an alpha plane, all four planes in one buffer, each with its own stride:
//   Y  at data,                 strideY x height bytes
//   U  after Y,                 strideU x ((height + 1) / 2) bytes
//   V  after U,                 strideV x ((height + 1) / 2) bytes
//   A  after V,                 strideA x height bytes
// plus the rotation (degrees, clockwise) the picture needs for display. No lock of its own: the producer
// fills it, then shares it read-only; the only later write is the rotation, made before the frame is handed
// to a renderer.
class I420Frame : public VideoFrame {
public:
    // Allocates the buffer (contents undefined) and frees it on destruction. When the allocation fails,
    // data is null and width and height are 0, which every reader treats as no picture.
    I420Frame(uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA, uint32_t width,
        uint32_t height);
    // Wraps a buffer the caller owns; `release` (may be empty) runs on destruction.
    I420Frame(uint8_t* data, uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA,
        uint32_t width, uint32_t height, std::function<void()> release);

    // A new owning frame with strideA = strideY and an opaque (255) alpha plane; empty when the buffer
    // cannot be allocated or its size does not fit in 32 bits.
    static I420FramePtr create(
        uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t width, uint32_t height);
    // A new frame over the caller's buffer.
    static I420FramePtr create(uint8_t* data, uint32_t strideY, uint32_t strideU, uint32_t strideV,
        uint32_t strideA, uint32_t width, uint32_t height, std::function<void()> release);
    // (strideU + strideV) * ((height + 1) / 2) + (strideY + strideA) * height, in unsigned 32-bit
    // arithmetic; width takes no part.
    static uint32_t bufferSize(uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA,
        uint32_t width, uint32_t height);

    uint8_t* dataY() const { return data; }
    uint8_t* dataU() const { return data + m_strideY * height; }
    uint8_t* dataV() const { return dataU() + m_strideU * chromaRows(); }
    uint8_t* dataA() const { return dataV() + m_strideV * chromaRows(); }
    uint32_t strideY() const { return m_strideY; }
    uint32_t strideU() const { return m_strideU; }
    uint32_t strideV() const { return m_strideV; }
    uint32_t chromaRows() const { return (height + 1) / 2; }

    uint32_t strideA = 0;
    int32_t rotation = 0;

private:
    uint32_t m_strideY = 0;
    uint32_t m_strideU = 0;
    uint32_t m_strideV = 0;
};

Q_DECLARE_METATYPE(I420FramePtr)
