#include <devservice/websiteroutes.h>

namespace devservice {

namespace {

    Route page(const std::string& title, const std::string& text)
    {
        Route route;
        route.signedBody = false;
        const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title
            + "</title></head><body><h1>" + title + "</h1><p>" + text + "</p></body></html>\n";
        route.handler = [body](const RecordedRequest&) {
            ScriptedReply reply;
            reply.rawBody = body;
            return reply;
        };
        return route;
    }

} // namespace

void addWebsiteRoutes(RouteTable& routes)
{
    routes["/"] = page("Tavicast", "Tavicast，轻松开启互联网会议。");
    routes["/user_agreement.html"] = page("用户协议", "Tavicast 用户协议（本地演示页）。");
    routes["/privacy_policy.html"] = page("隐私政策", "Tavicast 隐私政策（本地演示页）。");
}

} // namespace devservice
