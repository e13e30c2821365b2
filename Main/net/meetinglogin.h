#pragma once

#include "net/netbase.h"

#include <string>

// Task 1: signs the user in to the meeting API with the account token; stores the reply's "token" as the
// data-store text "meeting_token". A reply whose data lacks a string "token" fails with
// nettexts::kUnrecognisedReply, which also replaces `data`; nothing is stored then.
// Made on the request task thread for one call; `exec` blocks for the exchange and returns true on success,
// with the reply's data text in `data`; on failure `code` and `message` tell why.
class MeetingLogin : public NetBase {
public:
    using NetBase::NetBase;

    bool exec(std::string& data);
};
