#pragma once

#include <devservice/routes.h>

namespace devservice {

// The meeting client's paths (room service, meeting API, membership version check and application
// configuration, chat-room administration, signalling) with demo answers that carry what the client reads.
// Paths are those of the built-in bases with TAVICAST_SERVICE_URL pointing at this service.
void addMeetingRoutes(RouteTable& routes);

} // namespace devservice
