#include "net/renamemeeting.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool RenameMeeting::exec(std::string& data, int meetingId, const std::string& title)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["title"] = title;
    return postSigned(*this, servicepaths::kRenameMeeting, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
