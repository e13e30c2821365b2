#include "net/meetinglogin.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <json/reader.h>

bool MeetingLogin::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    body["vip_token"] = requeststore::dataText(netkeys::kUserToken);
    if (!postSigned(*this, servicepaths::kCheckLogin, body, data, RequestProfile::meetingApi()))
        return false;

    Json::Value reply;
    if (!Json::Reader().parse(data, reply, true))
        return false;
    if (!reply.isObject() || !reply["token"].isString()) {
        data = nettexts::kUnrecognisedReply;
        setMessage(data);
        return false;
    }
    requeststore::setData(netkeys::kMeetingToken, bg::Value(reply["token"].asString()));
    return true;
}
