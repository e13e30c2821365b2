#pragma once

#include <devservice/requestverifier.h>
#include <devservice/routes.h>

#include <json/value.h>

#include <string>

namespace devservice {

struct MembershipOptions {
    // Replies carry "encrypt": 1, "version": 100 and the result AES-wrapped; otherwise the result is plain.
    bool encrypt = true;
    // The WeChat web-QR login: "local" in the code's reply (1: the client reads the scan page itself, 0: it
    // sends the page to "/user/checkWechatScanBody"), how long an attempt lives before its page answers 402,
    // and after how long an attempt confirms by itself as if scanned (0: only the confirm page does).
    bool webQrLocal = true;
    int webQrLifetimeMs = 2 * 60 * 1000;
    int webQrAutoScanMs = 0;
    // After how long an account's newest order pays itself, as if its code had been paid; older orders the
    // user switched past stay open (0: only an order's pay page pays it).
    int autoPayMs = 0;
};

// The membership service under the path of its API base ("/goapi"): account, WeChat-code and auto-token
// logins, version check, product state and lists, orders, jump pages and the WeChat web-QR login, with demo
// accounts and products. Each request must arrive in the membership envelope (version 100) and carry the
// membership signature and the members of its path; otherwise it is answered with errcode 400. Results are
// JSON texts in the string member "result".
//
// Pages a browser opens (GET, neither enveloped nor signed): the pay page of an order ("qr_code" of an
// order: marks it paid, with "&deal=0" paid but not dealt), the jump pages, the WeChat scan page
// and the page the client polls ("wechat_net"). A web-QR attempt's "wechat_qrcode" is a PNG picture of its
// confirm page's address: opening that page (as a phone would after the scan) confirms the login; the same
// address with "&cancel=1" cancels it. The polled page answers 408 until then, 404 once, then 405 with a code
// that "/user/checkLoginByWechatCode" takes for "demo"; 403 once cancelled, 402 once expired.
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
