// The side panel: tile pages, the viewer's own tile, member-list synchronisation, the meeting's events and
// popping the pages out and back.
#include "ui/part/meetingmemberform.h"

#include "sidepanel_support.h"

#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/meetingkeys.h"
#include "global/settings.h"
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/memberinteractform.h"
#include "ui/part/singleshowdialog.h"

#include <studio/sourcewidget.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

using namespace sidepanel;

namespace {

class MemberPanel : public testing::Test {
protected:
    void SetUp() override
    {
        setData(kDataMeetingIsHost, bg::Value(true));
        form.resize(318, 700);
        form.show();
        pager = child<QPushButton>(&form, "pushButton_showNext");
    }
    void TearDown() override { clearData({ kDataMeetingIsHost, kDataMeetingSelfUserId, kDataChatMicroNum }); }

    MemberInteractForm* tile(int number) const
    {
        return child<MemberInteractForm>(&form, QStringLiteral("widget_member_%1").arg(number).toLatin1());
    }
    QList<int> visibleTiles() const
    {
        QList<int> numbers;
        for (int i = 1; i <= 8; ++i) {
            if (tile(i)->isVisible())
                numbers.append(i);
        }
        return numbers;
    }
    static int seatsInUse() { return int(dataInteger(CD->data->get_data(kDataChatMicroNum, bg::Value(-1)))); }
    QListWidget* list() const { return child<QListWidget>(&form, "listWidget_viewer"); }
    QList<MeetingMemberItemForm*> rows() const
    {
        QList<MeetingMemberItemForm*> out;
        for (int i = 0; i < list()->count(); ++i)
            out.append(qobject_cast<MeetingMemberItemForm*>(list()->itemWidget(list()->item(i))));
        return out;
    }
    QStringList rowPeers() const
    {
        QStringList peers;
        for (auto* row : rows())
            peers.append(row->memberData().peerId);
        return peers;
    }

    MeetingMemberForm form;
    QPushButton* pager = nullptr;
};

MemberRecord member(qint64 id, const char* peer, bool host = false, const char* device = "PC")
{
    return { id, QString::fromLatin1(peer), QStringLiteral("member %1").arg(id), QString::fromLatin1(device), host };
}

TEST_F(MemberPanel, TilePages)
{
    const struct {
        int n;
        QList<QList<int>> pages; // visible tiles page by page, "换一批" stepping through them
        QStringList texts;
    } cases[] = {
        { 0, { {} }, {} },
        { 3, { { 1, 2, 3 } }, {} },
        { 4, { { 1, 2, 3 }, { 4 } }, { "换一批(1/2)", "换一批(2/2)" } },
        { 7, { { 1, 2, 3 }, { 4, 5, 6 }, { 7 } }, { "换一批(1/3)", "换一批(2/3)", "换一批(3/3)" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        form.resetTilesForHost();
        for (int i = 0; i < c.n; ++i)
            form.addMemberTile(100 + i, QStringLiteral("m%1").arg(i));
        if (c.n == 0)
            form.syncMemberList({}); // nothing lays the strip out otherwise
        form.removeMemberTile(12345); // unknown: nothing at all
        EXPECT_EQ(seatsInUse(), c.n);
        EXPECT_EQ(child<QWidget>(&form, "widget_non_interact")->isVisible(), c.n == 0);
        EXPECT_EQ(child<QWidget>(&form, "widget_interactMain")->isVisible(), c.n > 0);
        for (int page = 0; page <= c.pages.size(); ++page) {
            const int shown = page % c.pages.size(); // the last press wraps to the first page
            SCOPED_TRACE(page);
            EXPECT_EQ(form.tilePage(), shown);
            EXPECT_EQ(visibleTiles(), c.pages[shown]);
            EXPECT_EQ(pager->isVisible(), !c.texts.isEmpty());
            if (!c.texts.isEmpty()) {
                EXPECT_EQ(pager->text(), c.texts[shown]);
                pager->click();
            }
        }
    }
}

TEST_F(MemberPanel, RemovingTheOnlyTileOfTheLastPage)
{
    form.resetTilesForHost();
    for (int i = 1; i <= 4; ++i)
        form.addMemberTile(i, QStringLiteral("m%1").arg(i));
    pager->click();
    ASSERT_EQ(visibleTiles(), QList<int> { 4 });

    tile(4)->initSource("source-4");
    form.removeMemberTile(4);
    EXPECT_EQ(form.tilePage(), 0);
    EXPECT_EQ(visibleTiles(), (QList<int> { 1, 2, 3 }));
    EXPECT_FALSE(pager->isVisible());
    EXPECT_EQ(seatsInUse(), 3);
    EXPECT_FALSE(tile(4)->isSourceBound());
    EXPECT_EQ(tile(4)->userId(), 0);
    // The released tile is the last to be handed out again.
    EXPECT_EQ(form.freeTiles().back(), tile(4));
}

TEST_F(MemberPanel, ViewerOwnTileComesFirstAndStaysReserved)
{
    setData(kDataMeetingSelfUserId, bg::Value(77LL));
    form.resetTilesForViewer();
    form.addMemberTile(10, QStringLiteral("host"));
    form.addSelfTile(QString());
    ASSERT_EQ(form.shownTiles().front(), tile(1));
    EXPECT_EQ(tile(1)->userId(), 77);
    EXPECT_EQ(child<QLabel>(tile(1), "label_name")->text(), QStringLiteral("我"));
    EXPECT_EQ(tile(1)->findChild<QLabel*>("label_member_status")->movie() != nullptr, true);

    // Seven tiles for the others: an eighth member finds none and changes nothing.
    for (int i = 11; i <= 16; ++i)
        form.addMemberTile(i, QStringLiteral("m%1").arg(i));
    EXPECT_EQ(form.shownTiles().size(), 8u);
    EXPECT_TRUE(form.freeTiles().empty());
    const int page = form.tilePage();
    form.addMemberTile(99, QStringLiteral("one too many"));
    EXPECT_EQ(form.shownTiles().size(), 8u);
    EXPECT_EQ(form.tilePage(), page);
    for (auto* shown : form.shownTiles())
        EXPECT_NE(shown->userId(), 99);

    form.addSelfTile(QStringLiteral("self-source"));
    EXPECT_EQ(form.shownTiles().size(), 8u);
    EXPECT_EQ(child<SourceWidget>(tile(1), "widget_stream")->sourceId(), QStringLiteral("self-source"));
    form.removeSelfTile();
    EXPECT_EQ(form.shownTiles().size(), 7u);
    EXPECT_EQ(std::count(form.freeTiles().begin(), form.freeTiles().end(), tile(1)), 0);
    form.removeMemberTile(10);
    EXPECT_EQ(std::count(form.freeTiles().begin(), form.freeTiles().end(), tile(1)), 0);
    EXPECT_EQ(form.freeTiles().size(), 1u);
}

TEST_F(MemberPanel, NinthCoBroadcasterOfTheHostIsNotShown)
{
    form.resetTilesForHost();
    for (int i = 1; i <= 9; ++i)
        form.addInvitingTile(i, QStringLiteral("m%1").arg(i));
    EXPECT_EQ(form.shownTiles().size(), 8u);
    EXPECT_EQ(seatsInUse(), 8);
    EXPECT_EQ(form.shownTiles().back()->userId(), 8);
    // Adding a member who has a tile only lays the strip out again.
    form.addMemberTile(3, QStringLiteral("renamed"));
    EXPECT_EQ(form.shownTiles().size(), 8u);
    EXPECT_EQ(child<QLabel>(tile(3), "label_name")->text(), QStringLiteral("m3"));
}

TEST_F(MemberPanel, TileSourcesFollowTheirMember)
{
    form.resetTilesForHost();
    form.addMemberTile(5, QStringLiteral("m5"));
    form.initializeTileSource(5, "s5");
    EXPECT_TRUE(tile(1)->isSourceBound());
    form.updateMemberTile(5, true, 2);
    EXPECT_FALSE(child<QLabel>(tile(1), "label_member_status")->isHidden());
    form.finalizeTileSource(5);
    EXPECT_FALSE(tile(1)->isSourceBound());
    // A dropped tile keeps its member, source and state; only the strip lets it go.
    form.initializeTileSource(5, "s5");
    form.dropMemberTile(5);
    EXPECT_TRUE(form.shownTiles().empty());
    EXPECT_EQ(tile(1)->userId(), 5);
    EXPECT_TRUE(tile(1)->isSourceBound());
}

TEST_F(MemberPanel, SyncKeepsRowsOfMembersWhoStay)
{
    const QVector<MemberRecord> first { member(5, "p5"), member(3, "p3", true), member(9, "p9", false, "Phone") };
    form.syncMemberList(first);
    ASSERT_EQ(rows().size(), 3);
    // The host's row goes on top, the others in their order.
    EXPECT_EQ(rowPeers(), (QStringList { "p3", "p5", "p9" }));
    EXPECT_EQ(child<QPushButton>(&form, "pushButton_pagebtn_memberlist")->text(), QStringLiteral("成员列表 (3)"));
    EXPECT_EQ(child<QLabel>(&form, "label_viewer")->text(), QStringLiteral("成员列表 (3)"));
    EXPECT_TRUE(list()->isVisible());
    EXPECT_FALSE(child<QWidget>(&form, "widget_listViewer_empty")->isVisible());
    const QList<MeetingMemberItemForm*> before = rows();
    EXPECT_TRUE(child<QLabel>(before[2], "label_mmitem_type_logo")->styleSheet().contains("phone"));

    form.syncMemberList(first);
    EXPECT_EQ(rows(), before);

    // Member 5 rejoins with a new peer id: a new row at the bottom, the old one goes.
    QPointer<MeetingMemberItemForm> old = before[1];
    form.syncMemberList({ member(3, "p3", true), member(9, "p9", false, "Phone"), member(5, "p5b") });
    EXPECT_EQ(rowPeers(), (QStringList { "p3", "p9", "p5b" }));
    EXPECT_EQ(rows()[0], before[0]);
    EXPECT_EQ(rows()[1], before[2]);
    EXPECT_TRUE(waitUntil([&] { return old.isNull(); }));
    EXPECT_EQ(form.memberRecords().size(), 3);

    // The meeting ends: rows and records go, and the same list builds the rows again.
    form.clearAll();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(form.memberRecords().isEmpty());
    EXPECT_TRUE(child<QWidget>(&form, "widget_listViewer_empty")->isVisible());
    form.syncMemberList(first);
    EXPECT_EQ(rowPeers(), (QStringList { "p3", "p5", "p9" }));
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(tile(i)->userId(), -1);
}

TEST_F(MemberPanel, RowGrowsWhileAScreenCastRequestWaits)
{
    ScaleOverride scale(1.5);
    MeetingMemberForm scaled;
    scaled.show();
    scaled.syncMemberList({ member(4, "p4") });
    auto* list = child<QListWidget>(&scaled, "listWidget_viewer");
    EXPECT_EQ(list->item(0)->sizeHint().height(), 52);
    EventDeliverer::instance()->deliver(new RefreshMemItemStateEvent(4, 3, 2));
    settle();
    EXPECT_EQ(list->item(0)->sizeHint().height(), 120);
    EventDeliverer::instance()->deliver(new RefreshMemItemStateEvent(4, 3, 0));
    settle();
    EXPECT_EQ(list->item(0)->sizeHint().height(), 52);
    // A row taken out while its state event is on its way reaches no deleted item.
    EventDeliverer::instance()->deliver(new RefreshMemItemStateEvent(4, 3, 2));
    scaled.syncMemberList({});
    settle();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(MemberPanel, MeetingEvents)
{
    auto* chat = form.chatRoomForm();
    auto* silence = child<QCheckBox>(chat, "checkBox_silenceAll");
    auto* title = child<QLabel>(&form, "label_meetingTitle");

    form.resetTilesForHost();
    EventDeliverer::instance()->deliver(
        new V3ReadyToCreateMeetingEvent(QStringLiteral("<i>周会</i>"), QString(), QRect(), 2, 0, 10));
    settle();
    EXPECT_EQ(title->text(), QStringLiteral("<p><b>直播主题</b>：&lt;i&gt;周会&lt;/i&gt;</p>"));
    EXPECT_FALSE(silence->isHidden());
    EXPECT_EQ(seatsInUse(), 0);

    form.addMemberTile(1, QStringLiteral("m1"));
    form.initializeTileSource(1, "s1");
    auto* stream = child<SourceWidget>(tile(1), "widget_stream");
    const int binds = stream->initializeCount();
    EventDeliverer::instance()->deliver(new V3WindowsStateChangeEvent);
    settle();
    EXPECT_EQ(stream->initializeCount(), binds + 1);

    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    settle();
    EXPECT_TRUE(form.shownTiles().empty());
    EXPECT_FALSE(tile(1)->isSourceBound());

    form.resetTilesForViewer();
    EventDeliverer::instance()->deliver(new V3ReadyToAddMeetingEvent(QStringLiteral("u"), 1, QString(), QString(),
        QString(), QStringLiteral("晨会"), QString(), QString(), QString(), 0, 0));
    settle();
    EXPECT_TRUE(title->text().contains(QStringLiteral("晨会")));
    EXPECT_TRUE(silence->isHidden());
}

TEST_F(MemberPanel, SilenceAllIsRelayedBothWays)
{
    EventDeliverer::instance()->deliver(
        new V3ReadyToCreateMeetingEvent(QStringLiteral("t"), QString(), QRect(), 2, 0, 10));
    settle();
    auto* silence = child<QCheckBox>(form.chatRoomForm(), "checkBox_silenceAll");
    QSignalSpy forbidden(&form, &MeetingMemberForm::SignalForbiddenAll);
    // The room reports its state while the member list is on show: the box follows all the same.
    form.setForbiddenAllChecked(true);
    EXPECT_TRUE(silence->isChecked());
    EXPECT_EQ(forbidden.count(), 0);
    child<QPushButton>(&form, "pushButton_pagebtn_chatroom")->click();
    silence->click();
    ASSERT_EQ(forbidden.count(), 1);
    EXPECT_FALSE(forbidden.at(0).at(0).toBool());
}

TEST_F(MemberPanel, PagesPopOutAndComeBack)
{
    ShortTimings timings;
    auto* stack = child<QStackedWidget>(&form, "stackedWidget");
    auto* memberButton = child<QPushButton>(&form, "pushButton_pagebtn_memberlist");
    auto* chatButton = child<QPushButton>(&form, "pushButton_pagebtn_chatroom");
    auto* pageEmpty = child<QWidget>(&form, "page_empty");
    auto* pageChat = child<QWidget>(&form, "page_chatroom");
    auto* pageMembers = child<QWidget>(&form, "page_member_list");
    auto* viewerTitle = child<QWidget>(&form, "widget_viewer_title");
    ASSERT_EQ(stack->currentWidget(), pageMembers);

    // The chat room goes into a window of its own while the member list is on show.
    const QList<QWidget*> chatButtons = form.setChatRoomDetached();
    EXPECT_EQ(chatButtons, QList<QWidget*> { child<QPushButton>(form.chatRoomForm(), "pushButton_mcrf_close") });
    form.setChatRoomEmbedded(false);
    QPointer<SingleShowDialog> chatWindow = new SingleShowDialog(form.chatRoomForm(), chatButtons,
        form.chatRoomTitleBarHeight(), QStringLiteral(":/qss/part/meetingchatroomform.css"));
    QSignalSpy closeChat(&form, &MeetingMemberForm::sig_hideChatroomDialog);
    QTest::qWait(3 * meetingTimings().pageSwitchMs);
    EXPECT_EQ(stack->currentWidget(), pageMembers);
    EXPECT_TRUE(child<QWidget>(form.chatRoomForm(), "widget_chatTitle")->isVisibleTo(form.chatRoomForm()));
    chatButton->click();
    EXPECT_EQ(stack->currentWidget(), pageEmpty);
    EXPECT_EQ(child<QLabel>(&form, "label_empty_note")->text(), QStringLiteral("此界面已单独显示"));
    child<QPushButton>(form.chatRoomForm(), "pushButton_mcrf_close")->click();
    EXPECT_EQ(closeChat.count(), 1);

    // Then the member list, while the chat page is checked.
    QWidget* memberContent = form.setMemberListDetached();
    EXPECT_EQ(memberContent, child<QWidget>(&form, "widget_memberlist"));
    EXPECT_EQ(form.memberListTitleButtons(), QList<QWidget*> { child<QPushButton>(&form, "pushButton_dropdown") });
    form.setMemberListEmbedded(false);
    QPointer<SingleShowDialog> memberWindow = new SingleShowDialog(memberContent, form.memberListTitleButtons(),
        form.memberListTitleBarHeight(), QStringLiteral(":/qss/part/meetingmemberform.css"));
    EXPECT_TRUE(viewerTitle->isVisibleTo(memberContent));
    QTest::qWait(3 * meetingTimings().pageSwitchMs);
    EXPECT_EQ(stack->currentWidget(), pageEmpty);
    memberButton->click();
    EXPECT_EQ(stack->currentWidget(), pageEmpty);

    // Both windows close: each content returns to its page, with its title bar hidden.
    form.clearChatRoomDetached();
    form.reattachPages();
    EXPECT_EQ(form.chatRoomForm()->parentWidget(), pageChat);
    EXPECT_FALSE(child<QWidget>(form.chatRoomForm(), "widget_chatTitle")->isVisibleTo(form.chatRoomForm()));
    EXPECT_EQ(stack->currentWidget(), pageEmpty); // the member list is still out
    form.clearMemberListDetached();
    form.reattachPages();
    EXPECT_EQ(memberContent->parentWidget(), pageMembers);
    EXPECT_FALSE(viewerTitle->isVisibleTo(memberContent));
    EXPECT_EQ(stack->currentWidget(), pageMembers);
    chatButton->click();
    EXPECT_EQ(stack->currentWidget(), pageChat);
    delete chatWindow;
    delete memberWindow;
    EXPECT_NE(form.chatRoomForm(), nullptr);
}

} // namespace
