// The chat panel: keys of the input, sending, emoticons, received texts shown as text, tips and the
// silence-all box.
#include "ui/part/meetingchatroomform.h"

#include "sidepanel_support.h"

#include "global/customevents.h"
#include "ui/Dialog/facedialog.h"
#include "ui/part/facebutton.h"

#include <chatroom/chatroom.h>
#include <chatwidgets/chatmanager.h>

#include <QCheckBox>
#include <QDateTime>
#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

using namespace sidepanel;

namespace {

const QString kHahaTag = QStringLiteral("<img src=\":/image/face/emoji_haha.png\"/>");

class ChatPanel : public testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<MeetingChatRoomForm>();
        form->resize(320, 600);
        form->show();
        input = form->chatManager()->editTextEdit();
    }

    QStringList sentTexts() const
    {
        QStringList texts;
        for (const auto* sent : log.of<SendChatMsg>())
            texts.append(sent->text);
        return texts;
    }

    void receive(const QString& handle, const QString& text, qint64 time = 0)
    {
        EventDeliverer::instance()->deliver(new ReciveChatMsg(QStringLiteral("peer"), handle, text, time));
        settle();
    }

    EventLog log { UserEventType::SendChatMsg };
    std::unique_ptr<MeetingChatRoomForm> form;
    QTextEdit* input = nullptr;
};

TEST_F(ChatPanel, KeysOfTheInput)
{
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool sent;
    } cases[] = {
        { "Return", Qt::Key_Return, Qt::NoModifier, true },
        { "Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, false },
        { "Shift+Return", Qt::Key_Return, Qt::ShiftModifier, false },
        { "keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, true },
        { "Ctrl+keypad Enter", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.events.clear();
        input->setPlainText(QStringLiteral("hello"));
        input->moveCursor(QTextCursor::End);
        QTest::keyClick(input, c.key, c.modifiers);
        settle();
        if (c.sent) {
            EXPECT_EQ(sentTexts(), QStringList { QStringLiteral("hello") });
            EXPECT_TRUE(input->toPlainText().isEmpty());
        } else {
            EXPECT_TRUE(log.events.empty());
            EXPECT_EQ(input->toPlainText(), QStringLiteral("hello\n"));
        }
    }
}

TEST_F(ChatPanel, SendButtonKeepsTheTextAsTyped)
{
    input->setPlainText(QStringLiteral("  two\nlines "));
    child<QPushButton>(form.get(), "pushButton_mcrf_send")->click();
    settle();
    EXPECT_EQ(sentTexts(), QStringList { QStringLiteral("  two\nlines ") });
    // The list shows only what the room delivers.
    EXPECT_EQ(form->chatManager()->itemCount(), 0);
}

TEST_F(ChatPanel, TextsTheRoomWouldNotTakeStayInTheInput)
{
    const QString atLimit(int(cr::ChatRoom::kMaxTextBytes), QLatin1Char('a'));
    const struct {
        const char* name;
        QString text;
        bool sent;
    } cases[] = {
        { "blanks and line breaks", QStringLiteral("  \n\t \n"), false },
        { "over the room's limit", atLimit + QStringLiteral("a"), false },
        { "over the limit in UTF-8 bytes", QString(int(cr::ChatRoom::kMaxTextBytes) / 3 + 1, QChar(0x4E2D)), false },
        { "at the limit", atLimit, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.events.clear();
        input->setPlainText(c.text);
        child<QPushButton>(form.get(), "pushButton_mcrf_send")->click();
        settle();
        EXPECT_EQ(log.events.size(), c.sent ? 1u : 0u);
        EXPECT_EQ(input->toPlainText(), c.sent ? QString() : c.text);
    }
}

TEST_F(ChatPanel, EmoticonRoundTrip)
{
    ASSERT_EQ(form->emoticons().entries().size(), 6);
    // The picker posts the chosen file; the input shows it; sending turns it into its code.
    EventDeliverer::instance()->deliver(new AddFaceEvent(QStringLiteral(":/image/face/emoji_haha.png")));
    settle();
    input->moveCursor(QTextCursor::End);
    input->insertPlainText(QStringLiteral("hi"));
    QTest::keyClick(input, Qt::Key_Return);
    settle();
    EXPECT_EQ(sentTexts(), QStringList { QStringLiteral("[\\haha]hi") });

    // The code coming back is drawn as the image.
    receive(QStringLiteral("bob"), QStringLiteral("[\\haha]hi"));
    ASSERT_EQ(form->chatManager()->itemCount(), 1);
    EXPECT_TRUE(form->chatManager()->itemHtml(0).startsWith(kHahaTag));
    EXPECT_EQ(form->chatManager()->itemDocument(0)->toPlainText(), QString(QChar::ObjectReplacementCharacter) + "hi");
}

TEST_F(ChatPanel, FaceButtonOpensThePickerWhichInsertsIntoTheInput)
{
    FaceDialog* picker = form->faceDialog();
    ASSERT_NE(picker, nullptr);
    child<QPushButton>(form.get(), "pushButton_face")->click();
    ASSERT_TRUE(picker->isVisible());
    const auto buttons = picker->findChildren<FaceButton*>();
    ASSERT_EQ(buttons.size(), 6);
    buttons[1]->click(); // emoji_haha, in name order
    settle();
    child<QPushButton>(form.get(), "pushButton_mcrf_send")->click();
    settle();
    EXPECT_EQ(sentTexts(), QStringList { QStringLiteral("[\\haha]") });
}

TEST_F(ChatPanel, ReceivedMarkupIsShownAsText)
{
    const QString texts[] = {
        QStringLiteral("<b>x</b>"),
        QStringLiteral("<img src=\":/image/mainTitle_close.png\"/>"),
        QStringLiteral("a & b\nnext line"),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        const int row = form->chatManager()->itemCount();
        receive(QStringLiteral("<i>eve</i>"), text);
        ASSERT_EQ(form->chatManager()->itemCount(), row + 1);
        EXPECT_EQ(form->chatManager()->itemDocument(row)->toPlainText().replace(QChar::LineSeparator, '\n'), text);
        EXPECT_FALSE(form->chatManager()->itemHtml(row).contains(QStringLiteral("<img")));
        EXPECT_EQ(form->chatManager()->itemStyle(row).label, QStringLiteral("<i>eve</i>: "));
    }
    EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(QStringLiteral("<b>mallory</b>"), true));
    settle();
    const int tip = form->chatManager()->itemCount() - 1;
    EXPECT_EQ(form->chatManager()->itemDocument(tip)->toPlainText(), QStringLiteral("<b>mallory</b> 已加入"));
}

TEST_F(ChatPanel, BubblesTakeTheListsWidthWhenShownAndOnResize)
{
    // The first message arrives while the panel was never shown.
    form.reset();
    form = std::make_unique<MeetingChatRoomForm>();
    const QString text = QString::fromUtf8("大家好，今天的会议先从上周的进度说起，然后再讨论下周的安排。").repeated(3);
    receive(QStringLiteral("主持人"), text);
    ASSERT_EQ(form->chatManager()->itemCount(), 1);
    QListWidget* list = form->chatManager()->chatListWidget();
    const auto lineWidth = [&] { return form->chatManager()->itemDocument(0)->textWidth(); };

    form->resize(320, 600);
    form->show();
    settle();
    const int shownWidth = list->viewport()->width();
    EXPECT_GT(lineWidth(), shownWidth / 2) << shownWidth;
    EXPECT_LE(lineWidth(), shownWidth);
    EXPECT_EQ(list->item(0)->sizeHint().width(), shownWidth);

    form->resize(520, 600);
    settle();
    EXPECT_GT(list->viewport()->width(), shownWidth);
    EXPECT_GT(lineWidth(), list->viewport()->width() / 2);
    EXPECT_EQ(list->item(0)->sizeHint().width(), list->viewport()->width());
}

TEST_F(ChatPanel, MessageAndTipRecords)
{
    const QDateTime sent(QDate(2026, 12, 10), QTime(9, 5, 30));
    receive(QStringLiteral("alice"), QStringLiteral("hi"), sent.toMSecsSinceEpoch());
    EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(QStringLiteral("bob"), false));
    settle();
    ASSERT_EQ(form->chatManager()->itemCount(), 2);
    const ChatManagerStruct message = form->chatManager()->itemStyle(0);
    EXPECT_EQ(message.type, 0);
    EXPECT_EQ(message.label, QStringLiteral("alice: "));
    EXPECT_EQ(message.time, QStringLiteral("09:05"));
    EXPECT_EQ(message.labelColor, QColor(171, 171, 171));
    EXPECT_EQ(message.timeColor, QColor(150, 150, 150));
    const ChatManagerStruct tip = form->chatManager()->itemStyle(1);
    EXPECT_EQ(tip.type, 1);
    EXPECT_TRUE(tip.label.isEmpty());
    EXPECT_EQ(tip.labelColor, QColor(207, 96, 60));
    EXPECT_EQ(form->chatManager()->itemDocument(1)->toPlainText(), QStringLiteral("bob 已退出"));
}

TEST_F(ChatPanel, LongNamesAreElidedByTheScale)
{
    const QString name(80, QLatin1Char('n'));
    const QFontMetrics metrics(QFont(QStringLiteral("微软雅黑"), 8));
    for (double scale : { 1.0, 1.5 }) {
        SCOPED_TRACE(scale);
        ScaleOverride override(scale);
        const int row = form->chatManager()->itemCount();
        receive(name, QStringLiteral("x"));
        EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(name, true));
        settle();
        const QString label = form->chatManager()->itemStyle(row).label;
        EXPECT_EQ(label, metrics.elidedText(name, Qt::ElideRight, int(260 * scale)) + QStringLiteral(": "));
        EXPECT_TRUE(label.endsWith(QString(QChar(0x2026)) + QStringLiteral(": ")));
        EXPECT_EQ(form->chatManager()->itemDocument(row + 1)->toPlainText(),
            metrics.elidedText(name, Qt::ElideRight, int(120 * scale)) + QStringLiteral(" 已加入"));
    }
}

TEST_F(ChatPanel, SilenceAllBox)
{
    auto* silence = child<QCheckBox>(form.get(), "checkBox_silenceAll");
    QSignalSpy forbidden(form.get(), &MeetingChatRoomForm::SignalForbiddenAll);

    form->setSilenceAllVisible(false);
    form->setSilenceAllChecked(true);
    EXPECT_FALSE(silence->isChecked());

    form->setSilenceAllVisible(true);
    form->setSilenceAllChecked(true);
    EXPECT_TRUE(silence->isChecked());
    EXPECT_EQ(forbidden.count(), 0);

    silence->click();
    ASSERT_EQ(forbidden.count(), 1);
    EXPECT_FALSE(forbidden.at(0).at(0).toBool());
    silence->click();
    EXPECT_TRUE(silence->isChecked());

    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    settle();
    EXPECT_FALSE(silence->isChecked());
    EXPECT_EQ(forbidden.count(), 2);
}

TEST_F(ChatPanel, NewMeetingEmptiesListAndInput)
{
    for (int type : { UserEventType::V3ReadyToCreateMeeting, UserEventType::V3ReadyToAddMeeting }) {
        SCOPED_TRACE(type);
        receive(QStringLiteral("a"), QStringLiteral("b"));
        input->setPlainText(QStringLiteral("draft"));
        if (type == UserEventType::V3ReadyToCreateMeeting)
            EventDeliverer::instance()->deliver(new V3ReadyToCreateMeetingEvent(QString(), QString(), QRect(), 0, 0, 0));
        else
            EventDeliverer::instance()->deliver(new V3ReadyToAddMeetingEvent(
                QString(), 0, QString(), QString(), QString(), QString(), QString(), QString(), QString(), 0, 0));
        settle();
        EXPECT_EQ(form->chatManager()->itemCount(), 0);
        EXPECT_TRUE(input->toPlainText().isEmpty());
    }
}

TEST_F(ChatPanel, TitleBarAndItsCloseButton)
{
    QSignalSpy hide(form.get(), &MeetingChatRoomForm::sig_hideChatroomDialog);
    auto* title = child<QWidget>(form.get(), "widget_chatTitle");
    EXPECT_FALSE(title->isVisible());
    form->setTitleBarVisible(true);
    EXPECT_TRUE(title->isVisible());
    EXPECT_EQ(form->titleBarHeight(), title->height());
    ASSERT_EQ(form->titleButtons().size(), 1);
    static_cast<QPushButton*>(form->titleButtons()[0])->click();
    EXPECT_EQ(hide.count(), 1);
    EXPECT_FALSE(child<QPushButton>(form.get(), "pushButton_image")->isVisible());
    EXPECT_FALSE(child<QWidget>(form.get(), "label_wordsNum")->isVisible());
}

} // namespace
