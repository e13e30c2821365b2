#include "media/videoframe.h"

#include <utility>

VideoFrame::~VideoFrame()
{
    if (release) {
        std::function<void()> releaseOnce = std::move(release);
        release = nullptr;
        releaseOnce();
    }
}
