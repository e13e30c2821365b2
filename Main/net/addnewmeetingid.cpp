#include "net/addnewmeetingid.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool AddNewMeetingID::exec(std::string& data, const std::string& title)
{
    Json::Value body(Json::objectValue);
    body["title"] = title;
    return postSigned(*this, servicepaths::kAccountCreateMeeting, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
