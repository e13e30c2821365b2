#include "net/srvdeletemeetting.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SRVDeleteMeetting::exec(std::string& data, const std::string& meetingKey)
{
    Json::Value body(Json::objectValue);
    body["meetting_key"] = meetingKey;
    return postSigned(*this, servicepaths::kDeleteMeeting, body, data, RequestProfile::roomService(),
        requeststore::dataText(netkeys::kUserToken));
}
