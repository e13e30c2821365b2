#include "net/srvgetappconfig.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

bool SRVGetAppConfig::exec(std::string& data)
{
    Json::Value body(Json::objectValue);
    // The service reads the member under this spelling; the value is the application's "product_type".
    body["product_Type"] = Json::Int64(
        requeststore::integerOf(requeststore::appProperty(netkeys::kAppProductType, bg::Value()), 23000));
    return postSigned(*this, servicepaths::kAppConfigs, body, data, RequestProfile::appConfig());
}
