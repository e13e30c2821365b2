#include "net/meetinglogin.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include "net/jsontext.h"

bool MeetingLogin::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    body["vip_token"] = requeststore::dataText(netkeys::kUserToken);
    if (!postSigned(*this, servicepaths::kCheckLogin, body, data, RequestProfile::meetingApi()))
        return false;

    // A reply without data fails without a message of its own, as before any reading.
    if (data.empty())
        return false;
    Json::Value reply;
    if (!jsontext::parse(data, reply) || !reply.isObject() || !reply["token"].isString()) {
        data = nettexts::kUnrecognisedReply;
        setMessage(data);
        return false;
    }
    requeststore::setData(netkeys::kMeetingToken, bg::Value(reply["token"].asString()));
    return true;
}
