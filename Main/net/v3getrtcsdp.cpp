#include "net/v3getrtcsdp.h"

#include "net/jsontext.h"
#include "net/requestprofile.h"
#include "net/servicepaths.h"

#include <QDebug>

bool V3GetRtcSdp::exec(std::string& data, const std::string& host, int64_t streamId, const std::string& sdp,
    const std::string& token)
{
    const RequestProfile profile = RequestProfile::signalling(host);
    Json::Value body(Json::objectValue);
    body["stream_id"] = Json::Int64(streamId);
    body["type"] = 1;
    body["sdp"] = sdp;
    const std::string signedBody = NetBase::sign(jsontext::styled(body));
    // The key and the token are secrets: only whether they are there is logged.
    qDebug().noquote() << "user_req:" << servicepaths::kSignallingRtcSdp;
    qDebug().noquote() << "host:" << QString::fromStdString(profile.baseUrl);
    qDebug().noquote() << "aes_key:" << (profile.aesKey.empty() ? "" : "***");
    qDebug().noquote() << "version_key:" << profile.envelopeVersion;
    qDebug().noquote() << "token:" << (token.empty() ? "" : "***");
    qDebug().noquote() << "[]param:" << QString::fromStdString(signedBody);
    return post(servicepaths::kSignallingRtcSdp, signedBody, data, profile.baseUrl, profile.encrypt, token,
        profile.aesKey, profile.envelopeVersion);
}
