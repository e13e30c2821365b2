#pragma once

#include "net/netbase.h"

#include <string>

// Task 15: deletes a class from a meeting's history.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class DeleteMeetingHistory : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, int classId);
};
