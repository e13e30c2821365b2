// The operator's kick-out calls, made by the program's request worker, act on the service's chat rooms.
#include "Main/net/request_fixture.h"
#include "chatroom_harness.h"

#include "net/netmanager.h"

#include <QSignalSpy>

using chattest::Member;
using chattest::waitFor;

namespace {

constexpr char kPassword[] = "task-room-pw";

class ChatRoomTasks : public RequestFixture {
protected:
    void SetUp() override
    {
        RequestFixture::SetUp();
        if (HasFatalFailure())
            return;
        signIn();
        cr::setEndpointProvider([this] {
            return cr::Endpoints { base, "ws://127.0.0.1:" + std::to_string(service->port()) + "/chat" };
        });
        manager.start();
    }

    void TearDown() override
    {
        manager.stop();
        owner.reset();
        guest.reset();
        cr::setEndpointProvider(nullptr);
        RequestFixture::TearDown();
    }

    void enter(Member& member, const std::string& handle)
    {
        std::string error;
        ASSERT_TRUE(member.room->joinRoom(roomId, 0, kPassword, member.joined, error)) << error;
        ASSERT_TRUE(
            member.room->wsConnect(roomId, member.joined.token, handle, member.joined.memberId, "", true));
        ASSERT_TRUE(waitFor([&] { return member.callback.count("peers") == 1; }));
    }

    // Runs one task and returns its signal's arguments.
    QList<QVariant> run(NetManager::NetTaskType type, const bg::ValueMap& params)
    {
        const QMetaMethod signal = manager.metaObject()->method(manager.metaObject()->methodOffset() + type);
        QSignalSpy spy(&manager, signal);
        manager.addTask(type, params);
        EXPECT_TRUE(waitFor([&] { return spy.count() == 1; }));
        return spy.isEmpty() ? QList<QVariant>() : spy.at(0);
    }

    bg::ValueMap params(const std::string& password, long long memberId = 0)
    {
        bg::ValueMap map;
        map["room_id"] = bg::Value(roomId.c_str());
        map["password"] = bg::Value(password.c_str());
        map["chat_id"] = bg::Value("");
        map["kick_type"] = bg::Value(1);
        map["user_id"] = bg::Value(memberId);
        map["ip"] = bg::Value("127.0.0.1");
        return map;
    }

    NetManager manager;
    std::unique_ptr<Member> owner = std::make_unique<Member>();
    std::unique_ptr<Member> guest = std::make_unique<Member>();
    std::string roomId;
};

} // namespace

TEST_F(ChatRoomTasks, KickOutListAndCancelWithTheRoomPassword)
{
    std::string error;
    roomId = owner->room->createRoom({ "ZovMeeting", "Teacher", kPassword, 10 }, error);
    ASSERT_FALSE(roomId.empty()) << error;
    enter(*owner, "主持人");
    enter(*guest, "alice");

    // A wrong password changes nothing.
    QList<QVariant> reply = run(NetManager::ChatroomKickout, params("wrong", guest->joined.memberId));
    ASSERT_EQ(reply.size(), 5);
    EXPECT_FALSE(reply.at(0).toBool());
    EXPECT_EQ(reply.at(2).toInt(), devservice::ChatRoomService::kWrongPassword);
    EXPECT_EQ(reply.at(3).toString(), "wrong room password");
    EXPECT_EQ(guest->callback.count("disconnected"), 0);

    reply = run(NetManager::ChatroomKickout, params(kPassword, guest->joined.memberId));
    EXPECT_TRUE(reply.at(0).toBool()) << reply.at(3).toString().toStdString();
    ASSERT_TRUE(waitFor(
        [&] { return guest->callback.count("disconnected") == 1 && owner->callback.count("left") == 1; }));
    EXPECT_EQ(owner->callback.named("left")[0].args[0], guest->chatId());

    reply = run(NetManager::ChatroomKickoutList, params(kPassword));
    ASSERT_TRUE(reply.at(0).toBool());
    const Json::Value list = parse(reply.at(1).toString().toStdString())["list"];
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["user_id"].asInt64(), guest->joined.memberId);
    EXPECT_EQ(list[0]["handle"].asString(), "alice");

    reply = run(NetManager::ChatroomKickoutCancel, params(kPassword, guest->joined.memberId));
    EXPECT_TRUE(reply.at(0).toBool());
    reply = run(NetManager::ChatroomKickoutList, params(kPassword));
    EXPECT_EQ(parse(reply.at(1).toString().toStdString())["list"].size(), 0u);
    reply = run(NetManager::ChatroomKickoutList, params("wrong"));
    EXPECT_FALSE(reply.at(0).toBool());
}
