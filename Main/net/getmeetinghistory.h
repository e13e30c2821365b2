#pragma once

#include "net/netbase.h"

#include <string>

// Task 12: reads one page of the history of a meeting.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class GetMeetingHistory : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int meetingId, int page, int pageSize, const std::string& startTime,
        const std::string& endTime);
};
