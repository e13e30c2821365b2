#include "net/requestprofile.h"

#include "global/servicehosts.h"
#include "net/jsontext.h"
#include "net/netbase.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include "global/localaddress.h"

#include <mutex>

namespace {

std::mutex sourceMutex;
std::function<std::string()> localServerSource;

std::string ownLocalServer()
{
    const QString address = localIpAddress();
    if (!address.isEmpty())
        return servicehosts::deploymentUrl(makeServerUrl(address).toStdString());
    // No usable address: the request fails without a transfer.
    return std::string();
}

RequestProfile make(std::string baseUrl, bool encrypt, const char* key, int version)
{
    RequestProfile profile;
    profile.baseUrl = std::move(baseUrl);
    profile.encrypt = encrypt;
    profile.aesKey = key;
    profile.envelopeVersion = version;
    return profile;
}

} // namespace

RequestProfile RequestProfile::roomService()
{
    std::string base = requeststore::dataText(netkeys::kNetMeetingHost);
    if (base.empty())
        base = requeststore::dataText(netkeys::kPreConfigHost);
    return make(base, false, servicepaths::kCommonKey, servicepaths::kCommonVersion);
}

RequestProfile RequestProfile::meetingApi()
{
    return make(servicehosts::deploymentUrl(servicehosts::kMeetingApiBase), true, servicepaths::kCommonKey,
        servicepaths::kCommonVersion);
}

RequestProfile RequestProfile::versionCheck()
{
    return make(servicehosts::deploymentUrl(servicehosts::kMembershipBase), true,
        servicepaths::kVersionCheckKey, servicepaths::kMembershipVersion);
}

RequestProfile RequestProfile::appConfig()
{
    const std::string host = requeststore::appProperty(netkeys::kAppHost, bg::Value("")).toStdString();
    return make(host, true, servicepaths::kAppConfigKey, servicepaths::kMembershipVersion);
}

RequestProfile RequestProfile::chatroom()
{
    return make(requeststore::dataText(netkeys::kChatroomHost), true, servicepaths::kCommonKey,
        servicepaths::kCommonVersion);
}

RequestProfile RequestProfile::signalling(const std::string& host)
{
    return make(host, false, servicepaths::kCommonKey, servicepaths::kCommonVersion);
}

RequestProfile RequestProfile::localSignalling()
{
    std::function<std::string()> source;
    {
        std::lock_guard<std::mutex> lock(sourceMutex);
        source = localServerSource;
    }
    return make(
        source ? source() : ownLocalServer(), false, servicepaths::kCommonKey, servicepaths::kCommonVersion);
}

void RequestProfile::setLocalServerSource(std::function<std::string()> source)
{
    std::lock_guard<std::mutex> lock(sourceMutex);
    localServerSource = std::move(source);
}

bool postSigned(NetBase& request, const std::string& path, const Json::Value& body, std::string& data,
    const RequestProfile& profile, const std::string& token)
{
    return request.post(path, NetBase::sign(jsontext::styled(body)), data, profile.baseUrl, profile.encrypt,
        token, profile.aesKey, profile.envelopeVersion);
}
