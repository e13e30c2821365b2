#include "net/addstudentitem.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool AddStudentItem::exec(
    std::string& data, int meetingId, const std::string& userName, const std::string& password)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["user_name"] = userName;
    body["user_pwd"] = password;
    return postSigned(*this, servicepaths::kAddStudent, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
