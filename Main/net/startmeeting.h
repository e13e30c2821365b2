#pragma once

#include "net/netbase.h"

#include <map>
#include <string>

// Task 6: starts a meeting of the account with its admitted members.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class StartMeeting : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int meetingId, const std::string& title, int allowViewer,
        const std::map<std::string, std::string>& members);
};
