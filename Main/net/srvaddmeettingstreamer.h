#pragma once

#include "net/netbase.h"

#include <cstdint>
#include <string>

// Task 32: registers a stream with the meeting on the room service.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class SRVAddMeettingStreamer : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& meetingKey, const std::string& title,
        const std::string& roomId, const std::string& roomPwd, int64_t streamId, bool main);
};
