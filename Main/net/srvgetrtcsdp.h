#pragma once

#include "net/netbase.h"

#include <cstdint>
#include <string>

// Task 31: hands the room service the SDP offer of a stream and takes its answer.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class SRVGetRtcSdp : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(
        std::string& data, const std::string& meetingKey, int64_t streamId, int type, const std::string& sdp);
};
