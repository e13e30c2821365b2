#include "net/v3addstreamer.h"

#include "net/requestprofile.h"
#include "net/servicepaths.h"

bool V3AddStreamer::exec(std::string& data, int64_t streamId, const std::string& title,
    const std::string& roomId, const std::string& roomPwd)
{
    Json::Value body(Json::objectValue);
    body["stream_id"] = Json::Int64(streamId);
    body["title"] = title;
    body["room_id"] = roomId;
    body["room_pwd"] = roomPwd;
    return postSigned(*this, servicepaths::kSignallingAddStreamer, body, data,
        RequestProfile::localSignalling(), std::string());
}
