#pragma once

#include <devservice/routes.h>

namespace devservice {

// The membership website's pages the login dialog links to, at the service's root: registration
// ("/newRegister"), finding a password ("/forgetName"), the help on unbinding devices
// ("/help/unbindDevice"), the membership service agreement ("/membership_service_greemen"), the membership
// rights ("/vip_rights") and customer service ("/contact_service"). Small HTML pages, GET, unsigned.
void addWebsitePages(RouteTable& routes);

} // namespace devservice
