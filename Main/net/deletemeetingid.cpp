#include "net/deletemeetingid.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool DeleteMeetingID::exec(std::string& data, int meetingId)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    return postSigned(*this, servicepaths::kAccountDeleteMeeting, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
