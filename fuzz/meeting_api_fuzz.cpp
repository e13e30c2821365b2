// The local service's meeting API and the other operator paths beside it (application configuration,
// signalling, the operator's chat-room calls), as any client could call them (see service_requests.h for
// the input's form).
#include "service_requests.h"

#include <devservice/meetingroutes.h>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzservice::Setup setup;
    setup.routes = [](devservice::RouteTable& routes) { devservice::addMeetingRoutes(routes); };
    setup.chatRooms = true;
    fuzzservice::run(setup, data, size);
    return 0;
}
