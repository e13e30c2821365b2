#pragma once

#include <devservice/requestverifier.h>
#include <devservice/routes.h>

#include <json/value.h>

#include <string>

namespace devservice {

struct MembershipOptions {
    // Replies carry "encrypt": 1, "version": 100 and the result AES-wrapped; otherwise the result is plain.
    bool encrypt = true;
};

// The membership service under the path of its API base ("/goapi"): account, WeChat-code and auto-token
// logins, version check, product state and lists, orders, jump pages and the WeChat web-QR login, with demo
// accounts and products. Each request must arrive in the membership envelope (version 100) and carry the
// membership signature and the members of its path; otherwise it is answered with errcode 400. Results are
// JSON texts in the string member "result".
//
// Pages a browser opens (GET, neither enveloped nor signed): the pay page of an order ("qr_code" of an
// order: marks it paid, with "&deal=0" paid but not dealt), the jump pages, the WeChat scan page
// ("wechat_qrcode": confirms the login) and the page the client polls ("wechat_net").
//
// The demo state is shared by the routes added by one call and guarded for use from any thread.
void addMembershipRoutes(RouteTable& routes, MembershipOptions options = MembershipOptions());

// The demo accounts, one per line, as the service program prints them at start.
std::string membershipDemoText();

// The membership signature: every member but "sign" sorted by name as "name=value&", then "&" and the salt,
// digested with MD5. The context members are "req_time", "platform", "platform_type", "app_version",
// "channel_id" and "app_name"; a "client" member is refused (it belongs to the program's signature).
std::string membershipSignatureText(const Json::Value& object);
SignatureCheck verifyMembershipSignature(const Json::Value& object);

} // namespace devservice
