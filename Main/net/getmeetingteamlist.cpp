#include "net/getmeetingteamlist.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool GetMeetingTeamList::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    return postSigned(*this, servicepaths::kGetMeetings, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
