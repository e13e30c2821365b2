#pragma once

#include "net/netbase.h"

#include <string>

// Task 4: renames a meeting of the account.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class RenameMeeting : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int meetingId, const std::string& title);
};
