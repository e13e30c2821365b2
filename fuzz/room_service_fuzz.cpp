// The local service's room service: meetings created, joined, their streams registered and the meetings
// deleted, as any client could ask (see service_requests.h for the input's form).
#include "service_requests.h"

#include <devservice/roomservice.h>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzservice::Setup setup;
    setup.routes = [](devservice::RouteTable& routes) { devservice::addRoomServiceRoutes(routes); };
    fuzzservice::run(setup, data, size);
    return 0;
}
