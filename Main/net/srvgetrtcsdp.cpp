#include "net/srvgetrtcsdp.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <QUrl>

bool SRVGetRtcSdp::exec(
    std::string& data, const std::string& meetingKey, int64_t streamId, int type, const std::string& sdp)
{
    // The key is the user's text: encoded, so "&", "#" or a blank cannot change the query.
    const std::string path = std::string(servicepaths::kRoomRtcSdp)
        + "?meetting_key=" + QUrl::toPercentEncoding(QString::fromStdString(meetingKey)).toStdString();
    Json::Value body(Json::objectValue);
    body["stream_id"] = Json::Int64(streamId);
    body["type"] = type;
    body["sdp"] = sdp;
    return postSigned(
        *this, path, body, data, RequestProfile::roomService(), requeststore::dataText(netkeys::kUserToken));
}
