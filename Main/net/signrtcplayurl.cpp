#include "net/signrtcplayurl.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SignRtcPlayUrl::exec(std::string& data, int roomId, const std::string& playUrl)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["play_url"] = playUrl;
    return postSigned(*this, servicepaths::kSignPlayRtcUrl, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
