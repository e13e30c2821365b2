// The local service's SDP paths with its WebRTC relay: any body, and any offer (in base64) published or
// played (see service_requests.h for the input's form; "$offer" takes the request's '>' lines).
#include "service_requests.h"

#include <devservice/mediaforwarder.h>
#include <devservice/meetingroutes.h>

#include <cstdint>
#include <iterator>
#include <cstdlib>

// Full stacks for allocations: GLib's first quark table, which it leaves unreferenced on purpose once
// GStreamer's names outgrow it, is then known by its load-time constructor, as the leak suppressions name it.
// (Fast unwinding stops at g_malloc inside GLib, which has no frame pointers.)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {

devservice::MediaForwarder* forwarder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    devservice::MediaForwarder::Options options;
    options.iceAddresses = { "127.0.0.1" };
    options.gatheringTimeout = std::chrono::milliseconds(500);
    forwarder = new devservice::MediaForwarder(options); // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzservice::Setup setup;
    setup.routes = [](devservice::RouteTable& routes) {
        devservice::addMeetingRoutes(routes);
        for (auto route = routes.begin(); route != routes.end();)
            route = route->first.find("getRtcSdp") != std::string::npos ? std::next(route) : routes.erase(route);
    };
    setup.forwarder = forwarder;
    fuzzservice::run(setup, data, size);
    return 0;
}
