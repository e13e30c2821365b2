#include "net/startmeetingv2.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool StartMeetingV2::exec(std::string& data, int meetingId, const std::string& title, int type,
    const std::string& password, const std::string& studentList)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["title"] = title;
    body["type"] = type;
    body["password"] = password;
    body["student_list"] = studentList;
    return postSigned(*this, servicepaths::kStartMeetingV2, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
