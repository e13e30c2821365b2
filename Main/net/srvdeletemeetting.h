#pragma once

#include "net/netbase.h"

#include <string>

// Task 33: deletes the meeting on the room service.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class SRVDeleteMeetting : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& meetingKey);
};
