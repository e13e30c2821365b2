#include "net/clearstudentlist.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool ClearStudentList::exec(std::string& data, int meetingId)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    return postSigned(*this, servicepaths::kClearStudent, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
