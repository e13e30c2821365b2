#pragma once

#include "net/netbase.h"

#include <string>

// Task 22: lists the members kicked out of the chat room.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class ChatroomKickoutList : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& roomId, const std::string& password);
};
