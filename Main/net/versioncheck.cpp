#include "net/versioncheck.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/jsontext.h"
#include "net/servicepaths.h"

#include <QDebug>

#include <json/reader.h>

#include <atomic>

namespace {

std::atomic<bool> checked { false };

} // namespace

bool VersionCheck::exec()
{
    if (checked.load())
        return true;

    Json::Value body(Json::objectValue);
    body["type"] = Json::Int64(
        requeststore::integerOf(requeststore::appProperty(netkeys::kAppProductType, bg::Value()), 20000));
    body["device_name"] = "windows";
    std::string data;
    if (!postSigned(*this, servicepaths::kCheckAppVersion, body, data, RequestProfile::versionCheck())) {
        qDebug().noquote() << "err:" << QString::fromStdString(errorText());
        return false;
    }
    qDebug().noquote() << "success:" << QString::fromStdString(data);
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
    checked.store(true);
    return true;
}

void VersionCheck::clearChecked() { checked.store(false); }
