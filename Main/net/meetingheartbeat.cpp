#include "net/meetingheartbeat.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool MeetingHeartbeat::exec(std::string& data, int classId, int viewerNum)
{
    Json::Value body(Json::objectValue);
    body["class_id"] = classId;
    body["viewer_num"] = viewerNum;
    return postSigned(*this, servicepaths::kMeetingHeartBeat, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
