#include "net/getmeetinglivestudents.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool GetMeetingLiveStudents::exec(std::string& data, int classId)
{
    Json::Value body(Json::objectValue);
    body["class_id"] = classId;
    return postSigned(*this, servicepaths::kLiveStudents, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
