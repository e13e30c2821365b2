#include "net/stopmeeting.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool StopMeeting::exec(std::string& data, int meetingId, int classId)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["class_id"] = classId;
    return postSigned(*this, servicepaths::kEndMeeting, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
