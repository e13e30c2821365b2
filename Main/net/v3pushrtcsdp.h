#pragma once

#include "net/netbase.h"

#include <string>

// Task 26: hands a signalling host the SDP offer of the stream to push.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class V3PushRtcSdp : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& host, const std::string& sdp, const std::string& token);
};
