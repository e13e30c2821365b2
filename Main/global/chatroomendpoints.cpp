#include "global/chatroomendpoints.h"

#include "global/datakeys.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <chatroom/chatroom.h>

namespace {

std::string dataText(const char* key)
{
    if (!CD || !CD->data)
        return std::string();
    const bg::Value value = CD->data->get_data(key, bg::Value(""));
    return value.type() == bg::Value::VT_STRING ? value.toStdString() : std::string();
}

} // namespace

void installChatRoomEndpoints()
{
    cr::setEndpointProvider([] {
        return cr::Endpoints { dataText(kDataChatHost), dataText(kDataChatHostWs) };
    });
}
