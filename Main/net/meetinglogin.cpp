#include "net/meetinglogin.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <jsonread/jsonread.h>

#include <optional>

bool MeetingLogin::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    body["vip_token"] = requeststore::dataText(netkeys::kUserToken);
    if (!postSigned(*this, servicepaths::kCheckLogin, body, data, RequestProfile::meetingApi()))
        return false;

    // A reply without data fails without a message of its own, as before any reading.
    if (data.empty())
        return false;
    const std::optional<Json::Value> reply = jsonread::parseObject(data);
    const std::optional<std::string> token = reply ? jsonread::stringOf(*reply, "token") : std::nullopt;
    if (!token) {
        data = nettexts::kUnrecognisedReply;
        setMessage(data);
        return false;
    }
    requeststore::setData(netkeys::kMeetingToken, bg::Value(*token));
    return true;
}
