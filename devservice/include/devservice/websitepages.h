#pragma once

#include <devservice/routes.h>

namespace devservice {

// The membership website's pages the login dialog links to, at the service's root: registration
// ("/newRegister"), finding a password ("/forgetName") and the help on unbinding devices
// ("/help/unbindDevice"). Small HTML pages, GET, unsigned.
void addWebsitePages(RouteTable& routes);

} // namespace devservice
