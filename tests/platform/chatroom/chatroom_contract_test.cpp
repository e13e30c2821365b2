// The chat-room client against the local service's rooms: what each member sees, who may do what.
#include "chatroom_harness.h"

#include <json/reader.h>

using namespace chattest;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

class ChatRoomContract : public ServiceFixture { };

} // namespace

TEST_F(ChatRoomContract, MembersSeeEachOtherTheirTextsAndCommands)
{
    host();
    Member& alice = guest("alice");
    Member& bob = guest("鲍勃");
    Member& owner = *members[0];

    // Member ids rise from 1 in joining order, so the host has the smallest.
    EXPECT_EQ(owner.joined.memberId, 1);
    EXPECT_EQ(alice.joined.memberId, 2);
    EXPECT_EQ(bob.joined.memberId, 3);

    for (Member* m : { &owner, &alice, &bob }) {
        SCOPED_TRACE(m->handle);
        ASSERT_GE(m->callback.events.size(), 3u);
        EXPECT_EQ(m->callback.events[0].slot, "connected");
        EXPECT_EQ(m->callback.events[1].slot, "self");
        EXPECT_EQ(m->callback.events[1].args[1], m->handle);
        const Json::Value peers = parse(m->callback.events[2].args[0]);
        ASSERT_TRUE(peers.isArray());
        // Everyone present, this member included.
        EXPECT_EQ(peers.size(), m == &owner ? 1u : m == &alice ? 2u : 3u);
        const Json::Value& last = peers[peers.size() - 1];
        EXPECT_EQ(last["user_id"].asInt64(), m->joined.memberId);
        EXPECT_EQ(last["id"].asString(), m->chatId());
        EXPECT_EQ(last["handle"].asString(), m->handle);
        EXPECT_EQ(last["shutup"].asInt(), 0);
        const Json::Value userData = parse(last["user_data"].asString());
        EXPECT_EQ(userData["deviceType"].asString(), "PC");
        EXPECT_EQ(userData["nickname"].asString(), m->handle);
    }
    ASSERT_TRUE(
        waitFor([&] { return owner.callback.count("joined") == 2 && alice.callback.count("joined") == 1; }));
    const Event joined = owner.callback.named("joined")[1];
    EXPECT_EQ(joined.args[0], bob.chatId());
    EXPECT_EQ(joined.args[1], "鲍勃");
    EXPECT_EQ(joined.args[2], "PC");
    EXPECT_EQ(parse(joined.args[3])["user_id"].asInt64(), 3);

    // A text reaches every member, its sender included.
    ASSERT_TRUE(alice.room->sendText("你好 [\\haha]"));
    ASSERT_TRUE(waitFor([&] {
        return owner.callback.count("text") == 1 && alice.callback.count("text") == 1
            && bob.callback.count("text") == 1;
    }));
    const Event text = bob.callback.named("text")[0];
    EXPECT_EQ(text.args[0], alice.chatId());
    EXPECT_EQ(text.args[1], "alice");
    EXPECT_EQ(text.args[2], "你好 [\\haha]");
    EXPECT_GT(std::stoll(text.args[3]), 1600000000000LL) << "milliseconds since the epoch";

    // A command reaches everyone but its sender, as a quoted JSON string.
    const std::string command = "{\n   \"type\" : \"stream_end\"\n}\n";
    ASSERT_TRUE(owner.room->sendCommand(command));
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("cmd") == 1 && bob.callback.count("cmd") == 1; }));
    for (Member* m : { &alice, &bob }) {
        const Event cmd = m->callback.named("cmd")[0];
        EXPECT_EQ(cmd.args[0], owner.chatId());
        EXPECT_EQ(cmd.args[1], "主持人");
        EXPECT_EQ(cmd.args[2], "\"{\\n   \\\"type\\\" : \\\"stream_end\\\"\\n}\\n\"");
        EXPECT_EQ(parse(cmd.args[2]).asString(), command);
    }

    // A member that leaves by removing itself: the others are told.
    std::string error;
    ASSERT_TRUE(bob.room->kickout({ roomId, kPassword, "", bob.joined.memberId, 1 }, error)) << error;
    ASSERT_TRUE(waitFor([&] {
        return owner.callback.count("left") == 1 && alice.callback.count("left") == 1
            && bob.callback.count("disconnected") == 1;
    }));
    EXPECT_EQ(owner.callback.named("left")[0].args[0], bob.chatId());
    EXPECT_EQ(owner.callback.count("cmd"), 0) << "the sender of a command does not get it back";

    for (Member* m : { &owner, &alice, &bob }) {
        for (const Event& e : m->callback.events)
            EXPECT_TRUE(e.onCreatingThread) << e.slot;
    }
    const auto rooms = service->chatRooms();
    ASSERT_EQ(rooms.size(), 1u);
    ASSERT_EQ(rooms[0].members.size(), 2u);
    EXPECT_TRUE(rooms[0].members[0].owner);
    EXPECT_FALSE(rooms[0].members[1].owner);
}

TEST_F(ChatRoomContract, ASilencedMemberReachesNobodyUntilLifted)
{
    host();
    Member& alice = guest("alice");
    Member& bob = guest("bob");
    Member& owner = *members[0];
    std::string error;

    ASSERT_TRUE(owner.room->forbiddenWords({ roomId, kPassword, alice.chatId(), 0, true, 0 }, error))
        << error;
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("forbidden") == 1; }));
    EXPECT_EQ(alice.callback.named("forbidden")[0].args[0], "1");
    EXPECT_EQ(bob.callback.count("forbidden"), 0) << "only the silenced member is told";

    ASSERT_TRUE(alice.room->sendText("hello?"));
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("error") == 1; }));
    ASSERT_TRUE(bob.room->sendText("marker"));
    ASSERT_TRUE(
        waitFor([&] { return owner.callback.count("text") == 1 && alice.callback.count("text") == 1; }));
    for (Member* m : { &owner, &alice, &bob }) {
        for (const Event& e : m->callback.named("text"))
            EXPECT_EQ(e.args[2], "marker");
    }

    ASSERT_TRUE(owner.room->forbiddenWords({ roomId, kPassword, "", alice.joined.memberId, false, 1 }, error))
        << error;
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("forbidden") == 2; }));
    EXPECT_EQ(alice.callback.named("forbidden")[1].args[0], "0");
    ASSERT_TRUE(alice.room->sendText("back"));
    ASSERT_TRUE(waitFor([&] { return bob.callback.count("text") == 2; }));
    EXPECT_EQ(bob.callback.named("text")[1].args[2], "back");

    // A silence with a duration lifts itself.
    ASSERT_TRUE(owner.room->forbiddenWords({ roomId, kPassword, "", bob.joined.memberId, true, 1 }, error))
        << error;
    ASSERT_TRUE(waitFor([&] { return bob.callback.count("forbidden") == 2; }));
    EXPECT_EQ(bob.callback.named("forbidden")[0].args[0], "1");
    EXPECT_EQ(bob.callback.named("forbidden")[1].args[0], "0");
    EXPECT_EQ(service->chatRooms()[0].members[2].shutup, 0);
}

TEST_F(ChatRoomContract, OnlyTheOwnerDisposesSilencesOrRemovesOthers)
{
    host();
    Member& alice = guest("alice");
    Member& bob = guest("bob");
    std::string error;

    EXPECT_FALSE(alice.room->disposeRoom(roomId, kPassword, alice.joined.token, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(alice.room->forbiddenWords({ roomId, kPassword, bob.chatId(), 0, true, 0 }, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(alice.room->kickout({ roomId, kPassword, "", bob.joined.memberId, 1 }, error));
    EXPECT_FALSE(error.empty());
    // Another member's token does not lend its role.
    error.clear();
    EXPECT_FALSE(alice.room->disposeRoom(roomId, kPassword, "not-a-token", error));
    EXPECT_FALSE(error.empty());

    const auto rooms = service->chatRooms();
    ASSERT_EQ(rooms.size(), 1u);
    ASSERT_EQ(rooms[0].members.size(), 3u);
    for (const auto& member : rooms[0].members) {
        EXPECT_TRUE(member.connected);
        EXPECT_EQ(member.shutup, 0);
    }
    // The owner may.
    ASSERT_TRUE(members[0]->room->kickout({ roomId, kPassword, "", bob.joined.memberId, 1 }, error)) << error;
    ASSERT_TRUE(waitFor(
        [&] { return bob.callback.count("disconnected") == 1 && alice.callback.count("left") == 1; }));
}

TEST_F(ChatRoomContract, DisposingClosesEveryConnectionOnce)
{
    host();
    guest("alice");
    guest("bob");
    std::string error;
    ASSERT_TRUE(members[0]->room->disposeRoom(roomId, kPassword, members[0]->joined.token, error)) << error;
    ASSERT_TRUE(waitFor([&] {
        for (const auto& m : members) {
            if (m->callback.count("disconnected") != 1)
                return false;
        }
        return true;
    }));
    for (const auto& m : members) {
        EXPECT_EQ(m->callback.count("disconnected"), 1);
        EXPECT_EQ(m->callback.count("dispose"), 1);
        EXPECT_EQ(m->callback.count("left"), 0) << "a disposed room tells no one who left";
    }
    EXPECT_TRUE(service->chatRooms().empty());
    EXPECT_FALSE(members[1]->room->sendText("anyone?"));
}

// The owner's last commands (a meeting's "stream_end") go out just before it disposes of the room: every
// member still receives them, then the dispose.
TEST_F(ChatRoomContract, CommandsSentJustBeforeTheDisposeStillArrive)
{
    constexpr int kCommands = 40;
    host();
    Member& alice = guest("alice");
    Member& owner = *members[0];
    for (int i = 0; i < kCommands; ++i)
        ASSERT_TRUE(owner.room->sendCommand("cmd-" + std::to_string(i)));
    std::string error;
    ASSERT_TRUE(owner.room->disposeRoom(roomId, kPassword, owner.joined.token, error)) << error;
    ASSERT_TRUE(waitFor([&] { return alice.callback.count("disconnected") == 1; }));
    const auto commands = alice.callback.named("cmd");
    ASSERT_EQ(commands.size(), size_t(kCommands));
    EXPECT_EQ(parse(commands.back().args[2]).asString(), "cmd-" + std::to_string(kCommands - 1));
    EXPECT_EQ(alice.callback.count("dispose"), 1);
}

// A room takes as many members beside its owner as it was made for.
TEST_F(ChatRoomContract, AFullRoomRefusesTheNextMember)
{
    std::string error;
    roomId = members.emplace_back(std::make_unique<Member>())
                 ->room->createRoom({ "ZovMeeting", "Teacher", kPassword, 1 }, error);
    ASSERT_FALSE(roomId.empty()) << error;
    connect(*members.back(), "主持人");
    guest("alice");
    cr::ChatRoom late(nullptr);
    cr::ChatRoom::RespJoinRoom joined;
    EXPECT_FALSE(late.joinRoom(roomId, 0, kPassword, joined, error));
    EXPECT_EQ(error, "the room is full");
}
