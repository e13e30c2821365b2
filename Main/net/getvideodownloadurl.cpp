#include "net/getvideodownloadurl.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool getVideoDownloadUrl::exec(std::string& data, int classId, const std::string& url)
{
    Json::Value body(Json::objectValue);
    body["class_id"] = classId;
    body["url"] = url;
    return postSigned(*this, servicepaths::kVideoSignUrl, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
