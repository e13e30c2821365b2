#pragma once

#include "net/netbase.h"

#include <string>

// Task 29: hands the streaming service of this machine the user token.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class V3InitServer : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data);
};
