#include "net/v3initserver.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool V3InitServer::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    body["token"] = requeststore::dataText(netkeys::kUserToken);
    return postSigned(
        *this, servicepaths::kInitServer, body, data, RequestProfile::localSignalling(), std::string());
}
