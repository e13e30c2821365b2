#pragma once

#include "net/netbase.h"

// Task 0: checks the client's version with the membership service, once per process.
// Made on the request task thread for one call; `exec` blocks for the exchange. Once a reply has been
// received and understood, every later check succeeds at once without a request; a failed check leaves that
// state as it was, so the next one asks again.
class VersionCheck : public NetBase {
public:
    using NetBase::NetBase;

    bool exec();

    // Test seam: forgets an earlier successful check.
    static void clearChecked();
};
