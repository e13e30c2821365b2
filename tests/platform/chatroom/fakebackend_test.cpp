// The stand-in service that form tests install in place of the chat-room client's own.
#include "chatroom_harness.h"

#include <chatroom/fakebackend.h>

using chattest::Event;
using chattest::Recorder;

TEST(FakeChatService, RecordsCallsAndFiresAtTheNewestLiveRoom)
{
    cr::FakeChatService fake;
    fake.roomId = "4242";
    fake.join = { "tok", 7 };
    Recorder callback;
    auto room = std::make_unique<cr::ChatRoom>(&callback);

    std::string error;
    EXPECT_EQ(room->createRoom({ "ZovMeeting", "Teacher", "pw", 3 }, error), "4242");
    cr::ChatRoom::RespJoinRoom joined;
    ASSERT_TRUE(room->joinRoom("4242", 0, "pw", joined, error));
    EXPECT_EQ(joined.token, "tok");
    EXPECT_EQ(joined.memberId, 7);
    EXPECT_TRUE(room->wsConnect("4242", "tok", "主持人", 7, "", true));
    EXPECT_TRUE(room->sendCommand("{}"));
    EXPECT_FALSE(room->sendText(std::string(cr::ChatRoom::kMaxTextBytes + 1, 'x'))) << "over the limit";

    const std::vector<std::string> create { "ZovMeeting", "Teacher", "pw", "3" };
    ASSERT_EQ(fake.callsNamed("createRoom").size(), 1u);
    EXPECT_EQ(fake.callsNamed("createRoom")[0].args, create);
    EXPECT_EQ(fake.callsNamed("wsConnect")[0].args,
        (std::vector<std::string> { "4242", "tok", "主持人", "7", "", "true" }));
    EXPECT_EQ(fake.callsNamed("sendText").size(), 0u);

    fake.succeed = false;
    EXPECT_FALSE(room->disposeRoom("4242", "pw", "tok", error));
    EXPECT_EQ(error, fake.failure);

    // A room deleted by the callback that was fired at it.
    callback.hook = [&](const Event&) { room.reset(); };
    ASSERT_TRUE(fake.fire([](cr::UICallback& c) { c.onPeerJoined("c1", "alice", "PC", "{}"); }));
    EXPECT_EQ(room, nullptr);
    EXPECT_EQ(fake.liveRooms(), 0);
    EXPECT_FALSE(fake.fire([](cr::UICallback& c) { c.onConnected(); }));
    EXPECT_EQ(callback.count("joined"), 1);
    EXPECT_EQ(callback.count("connected"), 0);
}
