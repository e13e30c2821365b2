#include "net/srvjoinmeeting.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SRVJoinMeeting::exec(
    std::string& data, const std::string& meetingKey, const std::string& userName, const std::string& password)
{
    Json::Value body(Json::objectValue);
    body["meetting_key"] = meetingKey;
    body["user_name"] = userName;
    body["password"] = password;
    return postSigned(*this, servicepaths::kJoinMeeting, body, data, RequestProfile::roomService(),
        requeststore::dataText(netkeys::kUserToken));
}
