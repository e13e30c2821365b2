#include "net/checkloginv2.h"

#include "net/jsontext.h"
#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <QDebug>

#include <jsonread/jsonread.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace {

constexpr char kToken[] = "meeting_token";
constexpr int kFlowProduct = 9000;

// The reply as it may be logged: the token replaced by a mask.
QString maskedReply(Json::Value reply)
{
    if (reply.isObject() && reply.isMember(kToken))
        reply[kToken] = "***";
    return QString::fromStdString(reply.toStyledString());
}

bool readCount(const Json::Value& product, const char* name, int64_t& out)
{
    const std::optional<int64_t> value = jsonread::int64Of(product, name);
    if (!value)
        return false;
    out = *value;
    return true;
}

// Stores the meeting token, then the flow counts of every product of the flow type (the last one wins).
// False at the first member that is missing or of the wrong type; what was stored before stays.
bool storeReply(const Json::Value& reply)
{
    const std::optional<std::string> token = jsonread::stringOf(reply, kToken);
    if (!token)
        return false;
    requeststore::setData(netkeys::kMeetingToken, bg::Value(*token));

    const Json::Value* products = jsonread::arrayOf(reply, "products");
    if (!products)
        return true;
    for (const Json::Value& product : *products) {
        if (!product.isObject())
            return false;
        if (jsonread::intOf(product, "product_type") != kFlowProduct)
            continue;
        int64_t total = 0;
        int64_t used = 0;
        if (!readCount(product, "total_count", total) || !readCount(product, "used_count", used))
            return false;
        // The service counts use downwards; the magnitude is what is shown.
        used = used == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max()
                                                           : (used < 0 ? -used : used);
        requeststore::setData(netkeys::kMeetingFlowTotal, bg::Value(static_cast<long long>(total)));
        requeststore::setData(netkeys::kMeetingFlowUsed, bg::Value(static_cast<long long>(used)));
    }
    return true;
}

} // namespace

bool CheckLoginV2::exec(std::string& data, const std::string& userName, const std::string& password)
{
    Json::Value body(Json::objectValue);
    body["user_name"] = userName;
    body["user_pwd"] = password;
    if (!postSigned(*this, servicepaths::kCheckLoginV2, body, data, RequestProfile::meetingApi()))
        return false;

    // A reply without data fails without a message of its own; data that does not read (nested deeper
    // than the reader goes, say) is an unrecognised reply.
    if (data.empty())
        return false;
    Json::Value reply;
    if (!jsontext::parse(data, reply)) {
        data = nettexts::kUnrecognisedReply;
        setMessage(data);
        return false;
    }
    qDebug().noquote() << "[checkLoginV2]metting_token: " + maskedReply(reply);
    if (!storeReply(reply)) {
        data = nettexts::kUnrecognisedReply;
        setMessage(data);
        return false;
    }
    return true;
}
