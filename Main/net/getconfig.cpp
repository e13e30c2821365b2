#include "net/getconfig.h"

#include "net/requestprofile.h"
#include "net/servicepaths.h"

bool GetConfig::exec(std::string& data, const std::string& key)
{
    Json::Value body(Json::objectValue);
    body["key"] = key;
    return postSigned(
        *this, servicepaths::kPublicConfig, body, data, RequestProfile::meetingApi(), std::string());
}
