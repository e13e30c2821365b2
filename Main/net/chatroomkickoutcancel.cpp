#include "net/chatroomkickoutcancel.h"

#include "net/logmask.h"
#include "net/requestprofile.h"
#include "net/servicepaths.h"

#include <QDebug>

bool ChatroomKickoutCancel::exec(std::string& data, const std::string& roomId, const std::string& password,
    int64_t userId, int kickType, const std::string& ip)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["password"] = password;
    body["user_id"] = Json::Int64(userId);
    body["kick_type"] = kickType;
    body["ip"] = ip;
    const bool ok = postSigned(*this, servicepaths::kKickoutCancel, body, data, RequestProfile::chatroom());
    qDebug().noquote() << (ok ? "[Cancel_success]:" : "[Cancel_error]:")
                       << QString::fromStdString(maskSecrets(data));
    return ok;
}
