#include <devservice/routes.h>

#include <devservice/chatrooms.h>
#include <devservice/meetingroutes.h>
#include <devservice/membershiproutes.h>
#include <devservice/roomservice.h>
#include <devservice/websiteroutes.h>
#include <devservice/websitepages.h>

namespace devservice {

std::string RecordedRequest::header(const std::string& lowerCaseName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return std::string();
}

ScriptedReply ScriptedReply::success(Json::Value result)
{
    ScriptedReply reply;
    reply.result = std::move(result);
    return reply;
}

ScriptedReply ScriptedReply::failure(int errcode, std::string errmsg)
{
    ScriptedReply reply;
    reply.errcode = errcode;
    reply.errmsg = std::move(errmsg);
    return reply;
}

RouteTable defaultRoutes()
{
    RouteTable routes;
    addMeetingRoutes(routes);
    addRoomServiceRoutes(routes);
    addChatRoomRoutes(routes);
    addMembershipRoutes(routes);
    addWebsiteRoutes(routes);
    addWebsitePages(routes);
    return routes;
}

} // namespace devservice
