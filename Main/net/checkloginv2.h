#pragma once

#include "net/netbase.h"

#include <string>

// Task 16: signs in with user name and password; stores the meeting token and the flow counts.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class CheckLoginV2 : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& userName, const std::string& password);
};
