#pragma once

#include "net/netbase.h"

#include <string>

// Task 10: reports that a meeting is still running, with its viewer count.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class MeetingHeartbeat : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int classId, int viewerNum);
};
