#pragma once

#include <devservice/routes.h>

namespace devservice {

// The operator's website as the client links it: the home page "/", the user agreement
// "/user_agreement.html" and the privacy policy "/privacy_policy.html", each a small page (GET, neither
// enveloped nor signed).
void addWebsiteRoutes(RouteTable& routes);

} // namespace devservice
