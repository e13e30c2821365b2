#include "net/getproductstate.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool GetProductState::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    return postSigned(*this, servicepaths::kProductState, body, data, RequestProfile::meetingApi(),
        requeststore::dataText(netkeys::kMeetingToken));
}
