#include "net/srvcreatemeeting.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SRVCreateMeeting::exec(
    std::string& data, const std::string& title, const std::string& meetingKey, const std::string& password)
{
    Json::Value body(Json::objectValue);
    body["token"] = requeststore::dataText(netkeys::kUserToken);
    body["meetting_key"] = meetingKey;
    body["password"] = password;
    body["title"] = title;
    return postSigned(*this, servicepaths::kCreateMeeting, body, data, RequestProfile::roomService(),
        requeststore::dataText(netkeys::kUserToken));
}
