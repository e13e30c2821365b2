#include "net/versioncheck.h"

#include "net/requestprofile.h"
#include "net/requeststore.h"
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
    Json::Value reply;
    if (!Json::Reader().parse(data, reply, true))
        return false;
    checked.store(true);
    return true;
}

void VersionCheck::clearChecked() { checked.store(false); }
