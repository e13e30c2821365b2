#pragma once

#include "net/netbase.h"

#include <string>

// Task 34: joins a meeting of the room service as a viewer, with the meeting's password (empty when none
// was typed).
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class SRVJoinMeeting : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& meetingKey, const std::string& userName,
        const std::string& password = std::string());
};
