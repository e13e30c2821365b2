#include "net/chatroomkickout.h"

#include "net/logmask.h"
#include "net/requestprofile.h"
#include "net/servicepaths.h"

#include <QDebug>

bool ChatroomKickout::exec(std::string& data, const std::string& roomId, const std::string& password,
    const std::string& chatId, int kickType, int64_t userId)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["password"] = password;
    body["chat_id"] = chatId;
    body["kick_type"] = kickType;
    body["user_id"] = Json::Int64(userId);
    const bool ok = postSigned(*this, servicepaths::kKickout, body, data, RequestProfile::chatroom());
    qDebug().noquote() << (ok ? "[Kick_success]:" : "[Kick_error]:")
                       << QString::fromStdString(maskSecrets(data));
    return ok;
}
