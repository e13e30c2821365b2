#include "media/i420frame.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// The buffer size computed wide, so that a size beyond 32 bits is seen instead of wrapping.
uint64_t wideBufferSize(
    uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA, uint32_t height)
{
    const uint64_t chromaRows = (uint64_t(height) + 1) / 2;
    return (uint64_t(strideU) + strideV) * chromaRows + (uint64_t(strideY) + strideA) * height;
}

} // namespace

I420Frame::I420Frame(
    uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA, uint32_t width, uint32_t height)
    : strideA(strideA)
    , m_strideY(strideY)
    , m_strideU(strideU)
    , m_strideV(strideV)
{
    const uint64_t size = wideBufferSize(strideY, strideU, strideV, strideA, height);
    if (size > std::numeric_limits<uint32_t>::max())
        return;
    data = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!data)
        return;
    this->width = width;
    this->height = height;
    uint8_t* buffer = data;
    release = [buffer] { std::free(buffer); };
}

I420Frame::I420Frame(uint8_t* data, uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA,
    uint32_t width, uint32_t height, std::function<void()> release)
    : strideA(strideA)
    , m_strideY(strideY)
    , m_strideU(strideU)
    , m_strideV(strideV)
{
    this->data = data;
    this->release = std::move(release);
    this->width = width;
    this->height = height;
}

I420FramePtr I420Frame::create(
    uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t width, uint32_t height)
{
    auto frame = std::make_shared<I420Frame>(strideY, strideU, strideV, strideY, width, height);
    if (!frame->data)
        return nullptr;
    std::memset(frame->dataA(), 255, size_t(frame->strideA) * height);
    return frame;
}

I420FramePtr I420Frame::create(uint8_t* data, uint32_t strideY, uint32_t strideU, uint32_t strideV,
    uint32_t strideA, uint32_t width, uint32_t height, std::function<void()> release)
{
    return std::make_shared<I420Frame>(
        data, strideY, strideU, strideV, strideA, width, height, std::move(release));
}

uint32_t I420Frame::bufferSize(uint32_t strideY, uint32_t strideU, uint32_t strideV, uint32_t strideA,
    uint32_t /*width*/, uint32_t height)
{
    return (strideU + strideV) * ((height + 1) / 2) + (strideY + strideA) * height;
}
