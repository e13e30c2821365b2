#include <devservice/websitepages.h>

namespace devservice {

namespace {

    struct WebsitePage {
        const char* path;
        const char* title;
        const char* text;
    };

    const WebsitePage kPages[] = {
        { "/newRegister", "注册帐号", "在此注册会员帐号（本地演示服务）。" },
        { "/forgetName", "找回密码", "在此找回帐号密码（本地演示服务）。" },
        { "/help/unbindDevice", "如何解绑设备", "登录会员中心，在“我的设备”中解绑不再使用的设备。" },
        { "/membership_service_greemen", "会员服务协议", "会员服务协议全文（本地演示服务）。" },
        { "/vip_rights", "会员权益", "会员可使用全部直播与会议功能（本地演示服务）。" },
        { "/contact_service", "联系客服", "团队购买请联系客服（本地演示服务）。" },
    };

} // namespace

void addWebsitePages(RouteTable& routes)
{
    for (const WebsitePage& page : kPages) {
        Route route;
        route.signedBody = false;
        const std::string body = std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>")
            + page.title + "</title></head><body><h1>" + page.title + "</h1><p>" + page.text
            + "</p></body></html>\n";
        route.handler = [body](const RecordedRequest&) {
            ScriptedReply reply;
            reply.rawBody = body;
            reply.contentType = "text/html; charset=utf-8";
            return reply;
        };
        routes[page.path] = route;
    }
}

} // namespace devservice
