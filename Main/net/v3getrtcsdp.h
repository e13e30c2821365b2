#pragma once

#include "net/netbase.h"

#include <cstdint>
#include <string>

// Task 28: hands a signalling host the SDP offer of a stream to pull and takes its answer.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class V3GetRtcSdp : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& host, int64_t streamId, const std::string& sdp,
        const std::string& token);
};
