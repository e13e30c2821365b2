#pragma once

#include "net/netbase.h"

#include <cstdint>
#include <string>

// Task 27: registers a stream with the streaming service of this machine.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class V3AddStreamer : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int64_t streamId, const std::string& title, const std::string& roomId,
        const std::string& roomPwd);
};
