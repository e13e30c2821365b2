// The local service's membership paths: sign-in, products, orders, the QR and payment pages, as any client
// could call them (see service_requests.h for the input's form).
#include "service_requests.h"

#include <devservice/membershiproutes.h>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzservice::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzservice::Setup setup;
    setup.routes = [](devservice::RouteTable& routes) { devservice::addMembershipRoutes(routes); };
    fuzzservice::run(setup, data, size);
    return 0;
}
