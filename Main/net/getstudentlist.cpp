#include "net/getstudentlist.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool GetStudentList::exec(std::string& data, int meetingId)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    return postSigned(*this, servicepaths::kListStudent, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
