// The local service's state page, with what any client could have sent before it (recorded requests,
// meetings, rooms) and any query (see service_requests.h for the input's form).
#include "service_requests.h"

#include <devservice/roomservice.h>
#include <devservice/statepage.h>

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::shared_ptr<devservice::RoomService> rooms;
    fuzzservice::Setup setup;
    setup.routes = [&rooms](devservice::RouteTable& routes) {
        routes = devservice::defaultRoutes();
        rooms = devservice::addRoomServiceRoutes(routes);
    };
    setup.afterStart = [&rooms](devservice::Service& service) { devservice::addStatePage(service, rooms); };
    setup.chatRooms = true;
    fuzzservice::run(setup, data, size);
    return 0;
}
