// The chat widgets as the chat-room form drives them: items in the list, emoticons in the input.
#include <chatwidgets/chatmanager.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

const QString kFace = QStringLiteral(":/image/face/emoji_haha.png");
const QString kFaceTag = QStringLiteral("<img src=\":/image/face/emoji_haha.png\"/>");

class ChatWidgets : public ::testing::Test {
protected:
    ChatWidgets()
    {
        window.resize(389, 520);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(chat, 1);
        layout->addWidget(edit);
        edit->setFixedHeight(90);
        window.show();
        manager.setCenterMsgBackColor(Qt::transparent);
    }

    static ChatManagerStruct message(const QString& label)
    {
        ChatManagerStruct style;
        style.type = 0;
        style.label = label;
        style.avatarMask = ":/chat/user_mask_icon.png";
        style.leftBubble = ":/image/chatroom_chat_left.png";
        style.rightBubble = ":/chat/chat_right.png";
        style.time = "10:24";
        style.labelColor = QColor(171, 171, 171);
        style.labelFont = QFont("微软雅黑", 9);
        style.timeFont = QFont("微软雅黑", 8);
        style.timeColor = QColor(150, 150, 150);
        return style;
    }

    static ChatManagerStruct tip()
    {
        ChatManagerStruct style;
        style.type = 1;
        style.labelColor = QColor(207, 96, 60);
        style.labelFont = QFont("微软雅黑", 8);
        return style;
    }

    // The input as the chat-room form sends it: emoticon tags back to codes, then plain text.
    QString sentText()
    {
        QString html = manager.getSendCtx()->html();
        html.replace(kFaceTag, QStringLiteral("[\\haha]"));
        QTextDocument document;
        document.setHtml(html);
        return document.toPlainText();
    }

    QWidget window;
    ChatWidget* chat = new ChatWidget();
    EditWidget* edit = new EditWidget();
    ChatManager manager { chat, edit, nullptr };
};

} // namespace

TEST_F(ChatWidgets, EachRecordBecomesARowOfItsKind)
{
    struct Row {
        ChatManagerStruct style;
        QString html;
    };
    const Row rows[] = { { message("alice: "), "你好 " + kFaceTag }, { tip(), "bob 已加入" },
        { message("一个很长很长的名字…: "), QString("long text ").repeated(40) } };
    for (const Row& row : rows) {
        ChatManagerStruct style = row.style;
        manager.sendMsgPosAndStyle(style, new zov::MsgSendCtx(row.html));
    }
    ASSERT_EQ(manager.itemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(manager.itemStyle(i).type, rows[i].style.type);
        EXPECT_EQ(manager.itemStyle(i).label, rows[i].style.label);
        EXPECT_EQ(manager.itemHtml(i), rows[i].html);
        EXPECT_GT(manager.chatListWidget()->item(i)->sizeHint().height(), 10);
    }
    // A long text wraps inside the list instead of widening it.
    EXPECT_LE(manager.itemDocument(2)->textWidth(), manager.chatListWidget()->viewport()->width());
    EXPECT_EQ(manager.itemDocument(1)->toPlainText(), "bob 已加入");
    // The rows own their contexts: clearing the list frees them (the sanitizer would see a leak).
    manager.chatListWidget()->clear();
    EXPECT_EQ(manager.itemCount(), 0);

    // Without a list, an item is dropped and its context freed.
    ChatManager bare(nullptr, nullptr, nullptr);
    ChatManagerStruct style = tip();
    bare.sendMsgPosAndStyle(style, new zov::MsgSendCtx("x"));
    EXPECT_EQ(bare.itemCount(), 0);
    EXPECT_EQ(bare.chatListWidget(), nullptr);
    EXPECT_EQ(bare.getSendCtx(), nullptr);
}

TEST_F(ChatWidgets, AFaceStandsInTheInputAsItsExactTag)
{
    QTextEdit* input = manager.editTextEdit();
    ASSERT_NE(input, nullptr);
    input->insertPlainText("  hi ");
    manager.slot_addFace(kFace);
    input->insertPlainText("<b>\n second line ");

    const QString html = manager.getSendCtx()->html();
    EXPECT_EQ(html.count(kFaceTag), 1) << html.toStdString();
    EXPECT_EQ(sentText(), "  hi [\\haha]<b>\n second line ");
    // The inserted face is drawn from the resources.
    EXPECT_FALSE(input->document()->resource(QTextDocument::ImageResource, QUrl(kFace)).isNull());

    manager.clearContent();
    EXPECT_TRUE(input->toPlainText().isEmpty());
    EXPECT_EQ(manager.getSendCtx()->html().count("<img"), 0);
    EXPECT_TRUE(sentText().isEmpty());
}

TEST_F(ChatWidgets, OnlyResourceImagesAreLoaded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("peer.png");
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(file));
    const QString dataUrl
        = "data:image/"
          "png;base64,"
          "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==";

    ChatManagerStruct style = message("mallory: ");
    manager.sendMsgPosAndStyle(style,
        new zov::MsgSendCtx(kFaceTag + "<img src=\"" + file + "\"/><img src=\"file://" + file
            + "\"/><img src=\"" + dataUrl + "\"/>"));
    window.grab(); // lay out and paint, as the screen would
    const QTextDocument* document = manager.itemDocument(0);
    ASSERT_NE(document, nullptr);
    EXPECT_FALSE(document->resource(QTextDocument::ImageResource, QUrl(kFace)).isNull());
    for (const QString& name : { file, "file://" + file, dataUrl }) {
        SCOPED_TRACE(name.left(40).toStdString());
        EXPECT_TRUE(document->resource(QTextDocument::ImageResource, QUrl(name)).isNull());
    }
    // Nor does the input take an image from a paste of markup.
    auto* pasted = new QMimeData();
    pasted->setHtml("<img src=\"" + file + "\"/>x");
    pasted->setText("x");
    QGuiApplication::clipboard()->setMimeData(pasted);
    manager.editTextEdit()->paste();
    EXPECT_EQ(manager.editTextEdit()->toPlainText(), "x");
    EXPECT_EQ(manager.getSendCtx()->html().count("<img"), 0);
}

TEST_F(ChatWidgets, Screenshot)
{
    ChatManagerStruct style = tip();
    manager.sendMsgPosAndStyle(style, new zov::MsgSendCtx("alice 已加入"));
    style = message("alice: ");
    manager.sendMsgPosAndStyle(style, new zov::MsgSendCtx("大家好 " + kFaceTag));
    style = message("主持人: ");
    style.type = 2;
    manager.sendMsgPosAndStyle(style, new zov::MsgSendCtx(QString("欢迎参加今天的会议，").repeated(4)));
    style = tip();
    manager.sendMsgPosAndStyle(style, new zov::MsgSendCtx("bob 已退出"));
    manager.editTextEdit()->insertPlainText("typing ");
    manager.slot_addFace(kFace);

    const QImage shot = window.grab().toImage();
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/chatwidgets.png")));
    // Something other than one flat colour was drawn.
    int differing = 0;
    const QRgb first = shot.pixel(0, 0);
    for (int y = 0; y < shot.height(); y += 4) {
        for (int x = 0; x < shot.width(); x += 4)
            differing += shot.pixel(x, y) != first ? 1 : 0;
    }
    EXPECT_GT(differing, 50);
}
