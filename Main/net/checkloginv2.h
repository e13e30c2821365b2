#pragma once

#include "net/netbase.h"

#include <string>

// Task 16: signs in with user name and password; stores "meeting_token" and, from the products of type
// 9000, "meeting_flow_total" and "meeting_flow_used" (64-bit, the used count as its magnitude). A reply that
// lacks the token or holds a member of the wrong type fails with nettexts::kUnrecognisedReply, which also
// replaces `data`; what was stored before the bad member stays.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class CheckLoginV2 : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data, const std::string& userName, const std::string& password);
};
