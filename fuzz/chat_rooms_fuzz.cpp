// The local service's chat rooms: their administration paths, the operator's calls on them and the frames
// members send, as any client could send them (see service_requests.h for the input's form).
#include "service_requests.h"

#include <devservice/chatrooms.h>
#include <devservice/meetingroutes.h>

#include <cstdint>
#include <iterator>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzservice::Setup setup;
    setup.routes = [](devservice::RouteTable& routes) {
        devservice::addMeetingRoutes(routes);
        for (auto route = routes.begin(); route != routes.end();)
            route = route->first.rfind("/zov/", 0) == 0 ? std::next(route) : routes.erase(route);
        devservice::addChatRoomRoutes(routes);
    };
    setup.chatRooms = true;
    setup.frames = true;
    fuzzservice::run(setup, data, size);
    return 0;
}
