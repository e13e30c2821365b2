// The side panel's widgets on a real X server, captured from the screen and kept as artefacts of the
// build (SCREENSHOT_DIR).
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmemberform.h"
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/memberinteractform.h"
#include "ui/part/previewwidget.h"
#include "ui/part/singleshowdialog.h"

#include "sidepanel_support.h"

#include "global/customevents.h"
#include "global/meetingkeys.h"

#include <chatwidgets/chatmanager.h>
#include <studio/thirdsource.h>

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace sidepanel;

namespace {

// Shows the window, captures it and saves it as `name`; the capture's pixels.
QImage capture(QWidget& window, const char* name)
{
    window.move(40, 40);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(150);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/") + QString::fromLatin1(name)));
    return shot.toImage();
}

// Share of pixels that are not (nearly) black.
double litShare(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 24 ? 1 : 0;
    }
    return image.isNull() ? 0.0 : double(lit) / (image.width() * image.height());
}

TEST(SidePanelScreenshot, RowsAndTiles)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    setData(kDataMeetingIsHost, bg::Value(true));
    setData(kDataMeetingSelfUserId, bg::Value(1LL));

    QWidget window;
    window.setStyleSheet(QStringLiteral("background-color: #2B2B2B;"));
    auto* column = new QVBoxLayout(&window);
    auto* pc = new MeetingMemberItemForm;
    pc->setMemberData({ 2, QStringLiteral("p2"), QStringLiteral("张三"), QStringLiteral("PC"), false });
    pc->setDeviceIcon(0);
    pc->setKind(0);
    auto* phone = new MeetingMemberItemForm;
    phone->setMemberData({ 3, QStringLiteral("p3"), QStringLiteral("李四的手机"), QStringLiteral("Phone"), false });
    phone->setDeviceIcon(1);
    phone->setKind(2);
    for (auto* row : { pc, phone }) {
        row->setFixedSize(300, 40);
        column->addWidget(row);
    }
    auto* strip = new QHBoxLayout;
    const struct {
        const char* name;
        bool present;
        int kind;
    } tiles[] = { { "王五", false, 0 }, { "赵六", true, 1 }, { "钱七", true, 2 } };
    for (const auto& t : tiles) {
        auto* tile = new MemberInteractForm;
        tile->setFixedSize(90, 90);
        tile->setMemberName(QString::fromUtf8(t.name));
        tile->setStatusIcon(t.present, t.kind);
        strip->addWidget(tile);
    }
    column->addLayout(strip);
    window.resize(320, 200);
    window.show();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(pc, &enter);
    const QImage image = capture(window, "sidepanel_rows_tiles.png");
    EXPECT_GT(litShare(image), 0.5);
    clearData({ kDataMeetingIsHost, kDataMeetingSelfUserId });
}

// A third source fed with one picture of a single colour.
void feedSource(const char* id, uint8_t y, uint8_t u, uint8_t v)
{
    ThirdSource::RegisterThirdSource(id);
    const int width = 64, height = 64;
    std::vector<uint8_t> luma(width * height, y), cb(width * height / 4, u), cr(width * height / 4, v);
    ThirdSource::SourceAsncFrame(id, luma.data(), cb.data(), cr.data(), width, width / 2, width / 2, width, height);
}

TEST(SidePanelScreenshot, PanelWithMembersTilesAndChat)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    setData(kDataMeetingIsHost, bg::Value(true));
    setData(kDataMeetingSelfUserId, bg::Value(1LL));

    MeetingMemberForm panel;
    panel.resize(318, 640);
    // Members arrive while the panel is on screen, as in a meeting.
    panel.move(40, 40);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.resetTilesForHost();
    EventDeliverer::instance()->deliver(
        new V3ReadyToCreateMeetingEvent(QStringLiteral("产品周会"), QString(), QRect(), 2, 0, 10));
    settle();
    panel.syncMemberList({ { 1, QStringLiteral("p1"), QStringLiteral("主持人 (我)"), QStringLiteral("PC"), true },
        { 2, QStringLiteral("p2"), QStringLiteral("张三"), QStringLiteral("PC"), false },
        { 3, QStringLiteral("p3"), QStringLiteral("李四"), QStringLiteral("Phone"), false } });
    const char* names[] = { "主持人", "张三", "李四", "王五" };
    for (int i = 0; i < 4; ++i)
        panel.addMemberTile(i + 1, QString::fromUtf8(names[i]));
    feedSource("shot-source-1", 150, 80, 200);
    panel.initializeTileSource(1, "shot-source-1");
    panel.updateMemberTile(2, true, 1);
    panel.updateMemberTile(3, true, 2);

    EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(QStringLiteral("李四"), true));
    EventDeliverer::instance()->deliver(new ReciveChatMsg(
        QStringLiteral("p2"), QStringLiteral("张三"), QStringLiteral("[\\haha]大家好"), 1765357500000));
    settle();

    QImage image = capture(panel, "sidepanel_members.png");
    EXPECT_GT(litShare(image), 0.5);
    child<QPushButton>(&panel, "pushButton_pagebtn_chatroom")->click();
    child<QPushButton>(&panel, "pushButton_showNext")->click();
    image = capture(panel, "sidepanel_chat.png");
    EXPECT_GT(litShare(image), 0.5);

    // The chat popped out into its own window.
    child<QPushButton>(&panel, "pushButton_pagebtn_memberlist")->click();
    const QList<QWidget*> buttons = panel.setChatRoomDetached();
    panel.setChatRoomEmbedded(false);
    SingleShowDialog window(panel.chatRoomForm(), buttons, panel.chatRoomTitleBarHeight(),
        QStringLiteral(":/qss/part/meetingchatroomform.css"));
    window.resize(310, 480);
    image = capture(window, "sidepanel_chat_window.png");
    EXPECT_GT(litShare(image), 0.5);
    clearData({ kDataMeetingIsHost, kDataMeetingSelfUserId });
}

// A viewer's first message arrives while the chat page was never shown; opening the page shows it laid out
// to the list's width.
TEST(SidePanelScreenshot, FirstMessageBeforeTheChatWasShown)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    MeetingMemberForm panel;
    panel.resize(318, 640);
    panel.move(40, 40);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EventDeliverer::instance()->deliver(new ReciveChatMsg(QStringLiteral("p1"), QStringLiteral("主持人"),
        QString::fromUtf8("欢迎大家参加今天的直播，我们先从上周的进度说起，然后讨论下周的安排。"), 1765357500000));
    settle();
    child<QPushButton>(&panel, "pushButton_pagebtn_chatroom")->click();
    settle();
    const QImage image = capture(panel, "sidepanel_chat_first_message.png");
    EXPECT_GT(litShare(image), 0.5);
    ChatManager* chat = panel.chatRoomForm()->chatManager();
    ASSERT_EQ(chat->itemCount(), 1);
    const int listWidth = chat->chatListWidget()->viewport()->width();
    EXPECT_GT(chat->itemDocument(0)->textWidth(), listWidth / 2) << listWidth;
}

TEST(SidePanelScreenshot, PreviewThumbnail)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.png"));
    QImage picture(2560, 1080, QImage::Format_RGB32);
    picture.fill(QColor(0x35, 0x97, 0xFF));
    ASSERT_TRUE(picture.save(path));
    PreviewWidget preview;
    preview.loadImage(path);
    const QImage image = capture(preview, "sidepanel_preview.png");
    EXPECT_EQ(image.size(), preview.size());
    EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), QColor(0x35, 0x97, 0xFF).rgb());
}

} // namespace
