#include "net/deletemeetinghistory.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool DeleteMeetingHistory::exec(std::string& data, int classId)
{
    Json::Value body(Json::objectValue);
    body["class_id"] = classId;
    return postSigned(*this, servicepaths::kDeleteClassHistory, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
