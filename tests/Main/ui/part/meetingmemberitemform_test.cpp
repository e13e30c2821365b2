// Member rows: invitations against the seat limit, the state event, hover rules and the kick request.
#include "ui/part/meetingmemberitemform.h"

#include "sidepanel_support.h"

#include "app/meetingnotice.h"
#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/meetingkeys.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using namespace sidepanel;

namespace {

constexpr qint64 kMember = 7;
constexpr qint64 kSelf = 3;

struct Notice {
    QString title;
    QString text;
    int kind;
};

class MemberRow : public testing::Test {
protected:
    void SetUp() override
    {
        setData(kDataMeetingIsHost, bg::Value(true));
        setData(kDataMeetingSelfUserId, bg::Value(static_cast<long long>(kSelf)));
        setMeetingNoticeSink([this](const QString& title, const QString& text, int kind) {
            notices.push_back({ title, text, kind });
        });
    }
    void TearDown() override
    {
        setMeetingNoticeSink({});
        clearData({ kDataMeetingIsHost, kDataMeetingSelfUserId, kDataMeetingPusherNum, kDataChatMicroNum });
    }

    std::unique_ptr<MeetingMemberItemForm> makeRow(qint64 userId = kMember)
    {
        auto row = std::make_unique<MeetingMemberItemForm>();
        row->setMemberData({ userId, QStringLiteral("peer-%1").arg(userId), QStringLiteral("alice"),
            QStringLiteral("PC"), false });
        row->setKind(0);
        row->resize(300, 40);
        row->show();
        return row;
    }

    static void hover(QWidget& row, bool enter)
    {
        QEvent event(enter ? QEvent::Enter : QEvent::Leave);
        QCoreApplication::sendEvent(&row, &event);
    }

    static void refresh(qint64 userId, int kind, int status)
    {
        EventDeliverer::instance()->deliver(new RefreshMemItemStateEvent(userId, kind, status));
        settle();
    }

    std::vector<Notice> notices;
};

TEST_F(MemberRow, InvitationAgainstTheSeatLimit)
{
    const struct {
        int pusherNum, inUse;
        bool refused;
    } cases[] = {
        { 0, 0, true }, // a meeting without seats
        { 2, 2, true },
        { 2, 3, true },
        { 2, 1, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pusherNum << " seats, " << c.inUse << " in use");
        setData(kDataMeetingPusherNum, bg::Value(c.pusherNum));
        setData(kDataChatMicroNum, bg::Value(c.inUse));
        notices.clear();
        EventLog log({ UserEventType::ViewerMemberInvite });
        auto row = makeRow();
        auto* audio = child<QPushButton>(row.get(), "pushButton_mmitem_audio");
        auto* tips = child<QLabel>(row.get(), "label_tips");
        hover(*row, true);
        ASSERT_TRUE(audio->isVisible());

        audio->click();
        settle();
        if (c.refused) {
            EXPECT_FALSE(audio->isChecked());
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_EQ(notices[0].title, QStringLiteral("提示"));
            EXPECT_EQ(notices[0].text, QStringLiteral("当前最多允许%1人进行同时连麦").arg(c.pusherNum));
            EXPECT_EQ(notices[0].kind, 1);
            EXPECT_TRUE(log.events.empty());
            EXPECT_EQ(row->kind(), 0);
            // Withdrawing is never refused: a row that was invited before the seats filled up.
            setData(kDataMeetingPusherNum, bg::Value(9));
            audio->click();
            setData(kDataMeetingPusherNum, bg::Value(c.pusherNum));
            settle();
            log.events.clear();
        } else {
            EXPECT_TRUE(notices.empty());
            EXPECT_EQ(row->kind(), 1);
            EXPECT_TRUE(tips->isVisible());
            EXPECT_EQ(tips->text(), QStringLiteral("等待语音连麦中..."));
            EXPECT_FALSE(child<QPushButton>(row.get(), "pushButton_mmitem_video")->isVisible());
            const auto invites = log.of<ViewerMemberInviteEvent>();
            ASSERT_EQ(invites.size(), 1u);
            EXPECT_EQ(invites[0]->userId, kMember);
            EXPECT_EQ(invites[0]->kind, 2); // voice, in the invitation's numbering
            EXPECT_TRUE(invites[0]->invite);
            log.events.clear();
        }
        ASSERT_TRUE(audio->isChecked());
        audio->click();
        settle();
        EXPECT_EQ(notices.size(), c.refused ? 1u : 0u);
        const auto withdrawn = log.of<ViewerMemberInviteEvent>();
        ASSERT_EQ(withdrawn.size(), 1u);
        EXPECT_FALSE(withdrawn[0]->invite);
        EXPECT_EQ(row->kind(), 0);
        EXPECT_FALSE(tips->isVisible());
    }
}

TEST_F(MemberRow, VideoInvitationUsesTheVideoNumbers)
{
    setData(kDataMeetingPusherNum, bg::Value(4));
    EventLog log({ UserEventType::ViewerMemberInvite });
    auto row = makeRow();
    hover(*row, true);
    child<QPushButton>(row.get(), "pushButton_mmitem_video")->click();
    settle();
    EXPECT_EQ(row->kind(), 2);
    EXPECT_EQ(child<QLabel>(row.get(), "label_tips")->text(), QStringLiteral("等待视频连麦中..."));
    ASSERT_EQ(log.of<ViewerMemberInviteEvent>().size(), 1u);
    EXPECT_EQ(log.of<ViewerMemberInviteEvent>()[0]->kind, 1);
}

TEST_F(MemberRow, StateEvent)
{
    ShortTimings timings;
    setData(kDataMeetingPusherNum, bg::Value(4));
    const struct {
        const char* name;
        bool tipShowing; // after an invitation by voice
        qint64 userId;
        int kind, status;
        int expectKind;
        const char* expectTip; // null: hidden at once
        bool audio, video;
    } cases[] = {
        { "voice while the tip is hidden", false, kMember, 1, 3, 1, nullptr, true, false },
        { "voice success", true, kMember, 1, 3, 1, "语音连麦成功", true, false },
        { "video success", true, kMember, 2, 3, 2, "视频连麦成功", false, true },
        { "unchanged hides the tip", true, kMember, 3, 3, 1, nullptr, true, false },
        { "ended", true, kMember, 0, 3, 0, nullptr, false, false },
        { "another member", true, 99, 0, 2, 1, "等待语音连麦中...", true, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto row = makeRow();
        auto* tips = child<QLabel>(row.get(), "label_tips");
        if (c.tipShowing) {
            hover(*row, true);
            child<QPushButton>(row.get(), "pushButton_mmitem_audio")->click();
            hover(*row, false);
        }
        // Handled at once, so the short tip delay cannot run out before the checks.
        RefreshMemItemStateEvent event(c.userId, c.kind, c.status);
        QCoreApplication::sendEvent(row.get(), &event);
        EXPECT_EQ(row->kind(), c.expectKind);
        EXPECT_EQ(child<QPushButton>(row.get(), "pushButton_mmitem_audio")->isVisible(), c.audio);
        EXPECT_EQ(child<QPushButton>(row.get(), "pushButton_mmitem_video")->isVisible(), c.video);
        EXPECT_FALSE(child<QPushButton>(row.get(), "pushButton_mmitem_delete")->isVisible());
        if (!c.expectTip) {
            EXPECT_FALSE(tips->isVisible());
            continue;
        }
        EXPECT_TRUE(tips->isVisible());
        EXPECT_EQ(tips->text(), QString::fromUtf8(c.expectTip));
        if (c.userId == kMember) {
            EXPECT_TRUE(waitUntil([&] { return !tips->isVisible(); }));
        }
        EXPECT_EQ(row->screenStatus(), 0);
    }
}

TEST_F(MemberRow, ScreenCastStatusResizesTheRowOnlyAroundARequest)
{
    auto row = makeRow();
    QSignalSpy resized(row.get(), &MeetingMemberItemForm::sig_refreshViewerListShow);
    auto* panel = child<QWidget>(row.get(), "widget_mmitem_for_screen");
    auto* end = child<QPushButton>(row.get(), "pushButton_mmitem_screen");
    const struct {
        int status;
        bool panel, end, pending;
        int resizes;
    } steps[] = {
        { 1, false, true, false, 0 }, // a cast running: no request panel, no resize
        { 2, true, false, true, 1 }, // a request comes in
        { 3, true, false, true, 2 }, // unchanged, but still around a request
        { 0, false, false, false, 3 }, // settled
        { 0, false, false, false, 3 },
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.status);
        refresh(kMember, 3, s.status);
        EXPECT_EQ(panel->isVisible(), s.panel);
        EXPECT_EQ(end->isVisible(), s.end);
        EXPECT_EQ(row->isScreenRequestPending(), s.pending);
        EXPECT_EQ(resized.count(), s.resizes);
    }
}

TEST_F(MemberRow, AnswersAndEndOfAScreenCastArePostedUnchanged)
{
    EventLog log({ UserEventType::ViewerMemberTouping, UserEventType::ViewerMemberToupingEnd });
    auto row = makeRow();
    refresh(kMember, 3, 2);
    child<QPushButton>(row.get(), "pushButton_mmitem_scn_yes")->click();
    child<QPushButton>(row.get(), "pushButton_mmitem_scn_no")->click();
    refresh(kMember, 3, 1);
    child<QPushButton>(row.get(), "pushButton_mmitem_screen")->click();
    settle();
    const auto answers = log.of<ViewerMemberToupingEvent>();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0]->accept);
    EXPECT_FALSE(answers[1]->accept);
    EXPECT_EQ(answers[0]->userId, kMember);
    ASSERT_EQ(log.of<ViewerMemberToupingEndEvent>().size(), 1u);
    EXPECT_EQ(log.of<ViewerMemberToupingEndEvent>()[0]->userId, kMember);
    EXPECT_EQ(row->screenStatus(), 1);
}

TEST_F(MemberRow, HoverShowsTheHostsButtonsOnOtherMembersRows)
{
    const struct {
        const char* name;
        bool host;
        qint64 userId;
        int kind;
        bool shown;
    } cases[] = {
        { "host, another member", true, kMember, 0, true },
        { "host, own row", true, kSelf, 0, false },
        { "viewer", false, kMember, 0, false },
        { "host, member in a call", true, kMember, 2, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setData(kDataMeetingIsHost, bg::Value(c.host));
        auto row = makeRow(c.userId);
        row->setKind(c.kind);
        auto* audio = child<QPushButton>(row.get(), "pushButton_mmitem_audio");
        auto* video = child<QPushButton>(row.get(), "pushButton_mmitem_video");
        auto* kick = child<QPushButton>(row.get(), "pushButton_mmitem_delete");
        hover(*row, true);
        EXPECT_EQ(audio->isVisible(), c.shown);
        EXPECT_EQ(kick->isVisible(), c.shown);
        EXPECT_EQ(video->isVisible(), c.shown || c.kind == 2);
        hover(*row, false);
        EXPECT_FALSE(audio->isVisible());
        EXPECT_FALSE(kick->isVisible());
    }
}

TEST_F(MemberRow, DeviceIconAndNameElidedToTheRow)
{
    auto row = makeRow();
    auto* logo = child<QLabel>(row.get(), "label_mmitem_type_logo");
    row->setDeviceIcon(1);
    EXPECT_TRUE(logo->styleSheet().contains(QStringLiteral(":/image/member_type_phone.png")));
    row->setDeviceIcon(5);
    EXPECT_TRUE(logo->styleSheet().contains(QStringLiteral(":/image/member_type_phone.png")));
    row->setDeviceIcon(0);
    EXPECT_TRUE(logo->styleSheet().contains(QStringLiteral(":/image/member_type_pc.png")));

    row->setMemberData({ kMember, QStringLiteral("p"), QString(200, QLatin1Char('w')), QString(), false });
    row->grab(); // paints, which fits the name to the row
    auto* name = child<QLabel>(row.get(), "label_mmitem_name");
    EXPECT_TRUE(name->text().endsWith(QChar(0x2026)));
    EXPECT_LE(name->width(), row->width());
}

TEST_F(MemberRow, NameIsShownAsTheMemberWroteIt)
{
    // A member who styles its name would otherwise stand out huge and red in everyone's list.
    const QString styled = QStringLiteral("<b style=\"font-size:72pt;color:red\">HOST</b>");
    auto row = makeRow();
    row->resize(2000, 40);
    row->setMemberData({ kMember, QStringLiteral("p"), styled, QString(), false });
    row->grab();
    auto* name = child<QLabel>(row.get(), "label_mmitem_name");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_EQ(name->text(), styled);
    EXPECT_LT(name->sizeHint().height(), 2 * QFontMetrics(name->font()).height());
}

} // namespace
