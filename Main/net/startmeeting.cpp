#include "net/startmeeting.h"

#include "net/jsontext.h"
#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <QDebug>

#include <json/reader.h>

bool StartMeeting::exec(std::string& data, int meetingId, const std::string& title, int allowViewer,
    const std::map<std::string, std::string>& members)
{
    Json::Value body(Json::objectValue);
    body["meeting_id"] = meetingId;
    body["title"] = title;
    body["allow_viewer"] = allowViewer;
    // "key:value" per member in ascending key order; no member at all for an empty map.
    for (const auto& [key, value] : members)
        body["student_list"].append(key + ":" + value);
    const std::string signedBody = NetBase::sign(jsontext::styled(body));
    qDebug().noquote() << "[memberList]:" << QString::fromStdString(signedBody);
    const RequestProfile profile = RequestProfile::meetingApi();
    return post(servicepaths::kStartMeeting, signedBody, data, profile.baseUrl, profile.encrypt,
        requeststore::dataText(netkeys::kMeetingToken), profile.aesKey, profile.envelopeVersion);
}
