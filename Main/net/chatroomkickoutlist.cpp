#include "net/chatroomkickoutlist.h"

#include "net/logmask.h"
#include "net/requestprofile.h"
#include "net/servicepaths.h"

#include <QDebug>

bool ChatroomKickoutList::exec(std::string& data, const std::string& roomId, const std::string& password)
{
    Json::Value body(Json::objectValue);
    body["room_id"] = roomId;
    body["password"] = password;
    const bool ok = postSigned(*this, servicepaths::kKickoutList, body, data, RequestProfile::chatroom());
    qDebug().noquote() << (ok ? "[List_success]:" : "[List_error]:")
                       << QString::fromStdString(maskSecrets(data));
    return ok;
}
