#pragma once

#include "net/netbase.h"

#include <cstdint>
#include <string>

// Task 23: lets a kicked-out member into the chat room again.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class ChatroomKickoutCancel : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& roomId, const std::string& password, int64_t userId,
        int kickType, const std::string& ip);
};
