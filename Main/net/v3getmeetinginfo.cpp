#include "net/v3getmeetinginfo.h"

#include "net/netframework.h"
#include "net/requestprofile.h"
#include "net/servicepaths.h"

bool V3GetMeetingInfo::exec(std::string& data, const std::string& host)
{
    Json::Value body(Json::objectValue);
    body["req_time"] = Json::Int64(netframework::nowMicroseconds() / 1000000);
    return postSigned(
        *this, servicepaths::kGetInfo, body, data, RequestProfile::signalling(host), std::string());
}
