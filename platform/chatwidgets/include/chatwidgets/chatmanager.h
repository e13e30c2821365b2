#pragma once

#include <chatwidgets/chatwidget.h>
#include <chatwidgets/msgctx.h>

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QListWidget;
class QTextDocument;
class QTextEdit;

// How one list item looks. `type`: 0 a message on the left, 1 a centred tip, 2 a message on the right.
struct ChatManagerStruct {
    int type = 0;
    QString label; // shown above a message's bubble, or the tip's colour and font apply to its text
    QString userId;
    QString avatar;
    QString avatarMask;
    QString leftBubble;
    QString rightBubble;
    QString time;
    QColor labelColor;
    QFont labelFont;
    QFont timeFont;
    QColor timeColor;
};

// Controls a message list and an input box (either may be null) from the GUI thread. Does not own the
// widgets; the list's rows own the contexts handed to them (a row removed from the list deletes its own).
class ChatManager : public QObject {
    Q_OBJECT
public:
    ChatManager(ChatWidget* chat, EditWidget* edit, HistWidget* history, QObject* parent = nullptr);
    ~ChatManager() override;

    void setCenterMsgBackColor(const QColor& color);
    QListWidget* chatListWidget() const;
    QTextEdit* editTextEdit() const;

    // The input as it stands, or null without an input. Owned here; valid until the next call.
    zov::MsgSendCtx* getSendCtx();
    void clearContent();
    // Appends one item: `style` says how it looks, `content` what it says (taken over; null shows nothing).
    void sendMsgPosAndStyle(ChatManagerStruct& style, zov::MsgCtx* content);

    // What the list holds, row by row (for tests).
    int itemCount() const;
    ChatManagerStruct itemStyle(int row) const;
    QString itemHtml(int row) const;
    const QTextDocument* itemDocument(int row) const;

public slots:
    // Inserts the emoticon image at `path` at the input's cursor.
    void slot_addFace(const QString& path);

private:
    QPointer<ChatWidget> m_chat;
    QPointer<EditWidget> m_edit;
    QColor m_centerBackground = Qt::transparent;
    std::unique_ptr<zov::MsgSendCtx> m_sendCtx;
};
