// The host's kick button reaches the local service's chat room as the kick-out task.
#include "ui/part/meetingmemberitemform.h"

#include "Main/net/request_fixture.h"
#include "platform/chatroom/chatroom_harness.h"
#include "sidepanel_support.h"

#include "global/meetingkeys.h"
#include "net/netmanager.h"

#include <bridge/dataauth.h>

#include <QPushButton>
#include <QSignalSpy>

using chattest::Member;

namespace {

constexpr char kRoomPassword[] = "kick-room-pw";

class MemberKick : public RequestFixture {
protected:
    void SetUp() override
    {
        RequestFixture::SetUp();
        if (HasFatalFailure())
            return;
        signIn();
        component.data = &store;
        cr::setEndpointProvider([this] {
            return cr::Endpoints { base, "ws://127.0.0.1:" + std::to_string(service->port()) + "/chat" };
        });
        if (!NetManager::instance()->isRunning())
            NetManager::instance()->start();
    }

    void TearDown() override
    {
        NetManager::instance()->waitIdle(5000);
        owner.reset();
        guest.reset();
        cr::setEndpointProvider(nullptr);
        component.data = nullptr;
        RequestFixture::TearDown();
    }

    void enter(Member& member, const std::string& handle)
    {
        std::string error;
        ASSERT_TRUE(member.room->joinRoom(roomId, 0, kRoomPassword, member.joined, error)) << error;
        ASSERT_TRUE(
            member.room->wsConnect(roomId, member.joined.token, handle, member.joined.memberId, "", true));
        ASSERT_TRUE(chattest::waitFor([&] { return member.callback.count("peers") == 1; }));
    }

    bg::DataAuth store;
    std::unique_ptr<Member> owner = std::make_unique<Member>();
    std::unique_ptr<Member> guest = std::make_unique<Member>();
    std::string roomId;
};

TEST_F(MemberKick, KickButtonSendsTheRoomsKeysAndTheMember)
{
    std::string error;
    roomId = owner->room->createRoom({ "ZovMeeting", "Teacher", kRoomPassword, 10 }, error);
    ASSERT_FALSE(roomId.empty()) << error;
    enter(*owner, "主持人");
    enter(*guest, "alice");

    store.set_data(kDataMeetingIsHost, bg::Value(true));
    store.set_data(kDataMeetingSelfUserId, bg::Value(static_cast<long long>(owner->joined.memberId)));
    store.set_data(kDataChatroomId, bg::Value(std::stoll(roomId)));
    store.set_data(kDataChatroomPwd, bg::Value(kRoomPassword));
    store.set_data(kDataMeetingType, bg::Value(1));

    MeetingMemberItemForm row;
    row.setMemberData({ guest->joined.memberId, QString::fromStdString(guest->chatId()), QStringLiteral("alice"),
        QStringLiteral("PC"), false });
    row.show();
    QEvent enterEvent(QEvent::Enter);
    QCoreApplication::sendEvent(&row, &enterEvent);
    auto* kick = sidepanel::child<QPushButton>(&row, "pushButton_mmitem_delete");
    ASSERT_TRUE(kick->isVisible());

    QSignalSpy result(NetManager::instance(), &NetManager::ChatroomKickoutResult);
    kick->click();
    ASSERT_TRUE(chattest::waitFor([&] { return result.count() == 1; }));
    EXPECT_TRUE(result.at(0).at(0).toBool()) << result.at(0).at(3).toString().toStdString();
    ASSERT_TRUE(chattest::waitFor(
        [&] { return guest->callback.count("disconnected") == 1 && owner->callback.count("left") == 1; }));
    EXPECT_EQ(owner->callback.count("disconnected"), 0);
}

TEST_F(MemberKick, WithoutTheRoomsKeysTheServiceRefusesAndNobodyLeaves)
{
    std::string error;
    roomId = owner->room->createRoom({ "ZovMeeting", "Teacher", kRoomPassword, 10 }, error);
    ASSERT_FALSE(roomId.empty()) << error;
    enter(*owner, "主持人");
    enter(*guest, "alice");

    MeetingMemberItemForm row;
    row.setMemberData({ guest->joined.memberId, QString::fromStdString(guest->chatId()), QStringLiteral("alice"),
        QStringLiteral("PC"), false });
    row.show();
    QEvent enterEvent(QEvent::Enter);
    QCoreApplication::sendEvent(&row, &enterEvent);
    QSignalSpy result(NetManager::instance(), &NetManager::ChatroomKickoutResult);
    sidepanel::child<QPushButton>(&row, "pushButton_mmitem_delete")->click();
    ASSERT_TRUE(chattest::waitFor([&] { return result.count() == 1; }));
    EXPECT_FALSE(result.at(0).at(0).toBool());
    sidepanel::settle();
    EXPECT_EQ(guest->callback.count("disconnected"), 0);
}

} // namespace
