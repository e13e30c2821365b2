#pragma once

#include "media/i420frame.h"

// Receives every picture a connection wrapper copies, on the WebRTC library's callback thread. The frame is
// shared: a receiver that keeps it takes its own reference and never writes to it before handing it on.
class RemoteVideoObserver {
public:
    virtual ~RemoteVideoObserver() = default;
    virtual void onRemoteFrame(const char* sourceId, const I420FramePtr& frame) = 0;
};
