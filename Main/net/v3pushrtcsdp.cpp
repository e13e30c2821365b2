#include "net/v3pushrtcsdp.h"

#include "net/requestprofile.h"
#include "net/servicepaths.h"

bool V3PushRtcSdp::exec(
    std::string& data, const std::string& host, const std::string& sdp, const std::string& token)
{
    Json::Value body(Json::objectValue);
    body["stream_id"] = 0;
    body["type"] = 1;
    body["sdp"] = sdp;
    body["token"] = token;
    return postSigned(
        *this, servicepaths::kSignallingRtcSdp, body, data, RequestProfile::signalling(host), token);
}
