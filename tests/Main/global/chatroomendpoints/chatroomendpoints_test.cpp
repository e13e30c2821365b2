#include "global/chatroomendpoints.h"

#include "Main/shell_env.h"

#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <chatroom/chatroom.h>

#include <gtest/gtest.h>

namespace {

// The chat-room client reads its addresses from the data store at every call.
TEST(ChatRoomEndpoints, FollowTheDataStore)
{
    installChatRoomEndpoints();
    CD->data->erease_data("chatHost");
    CD->data->erease_data("chatHostWS");
    EXPECT_EQ(cr::endpoints().host, "");
    EXPECT_EQ(cr::endpoints().wss, "");

    CD->data->set_data("chatHost", bg::Value("https://127.0.0.1:4431"));
    CD->data->set_data("chatHostWS", bg::Value("wss://127.0.0.1:4431/chat"));
    EXPECT_EQ(cr::endpoints().host, "https://127.0.0.1:4431");
    EXPECT_EQ(cr::endpoints().wss, "wss://127.0.0.1:4431/chat");

    CD->data->set_data("chatHost", bg::Value(7)); // not a text: no address
    EXPECT_EQ(cr::endpoints().host, "");
    cr::setEndpointProvider(nullptr);
}

const auto* const bridge = testing::AddGlobalTestEnvironment(new BridgeEnvironment);

} // namespace
