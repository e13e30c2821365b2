#pragma once

#include "net/netbase.h"

#include <string>

// Task 9: signs a play address of a room (tasks 9 and 24).
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class SignRtcPlayUrl : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int roomId, const std::string& playUrl);
};
