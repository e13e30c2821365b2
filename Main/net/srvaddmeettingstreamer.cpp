#include "net/srvaddmeettingstreamer.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SRVAddMeettingStreamer::exec(std::string& data, const std::string& meetingKey, const std::string& title,
    const std::string& roomId, const std::string& roomPwd, int64_t streamId, bool main)
{
    Json::Value body(Json::objectValue);
    body["meetting_key"] = meetingKey;
    body["stream_id"] = Json::Int64(streamId);
    if (!roomId.empty())
        body["room_id"] = roomId;
    if (!roomPwd.empty())
        body["room_pwd"] = roomPwd;
    if (!title.empty()) {
        body["title"] = title;
        body["main"] = main ? 1 : 0;
    }
    return postSigned(*this, servicepaths::kAddStreamer, body, data, RequestProfile::roomService(),
        requeststore::dataText(netkeys::kUserToken));
}
