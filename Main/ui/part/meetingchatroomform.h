#pragma once

#include "ui/part/chatemoticons.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class ChatManager;
class FaceDialog;

namespace Ui {
class MeetingChatRoomForm;
}

// The meeting's chat panel: the messages and join/leave tips the chat room delivers, an input box with
// emoticons, the send button and, for the host, "全部禁言". It talks to the chat room only through custom
// events: it shows ReciveChatMsg (1005) and V3ShowChatRoomTipsEvent (1020), inserts the emoticon of
// AddFaceEvent (1007) and posts what the user sends as SendChatMsg (1006). A text the room would refuse
// (blank, or over the room's size limit) is not sent and stays in the input.
// Made by the member list's form; registered with the event hub from construction to destruction.
// GUI thread only.
class MeetingChatRoomForm : public QWidget {
    Q_OBJECT
public:
    explicit MeetingChatRoomForm(QWidget* parent = nullptr);
    ~MeetingChatRoomForm() override;

    // Sets the check box without a SignalForbiddenAll, unless the box was hidden (a viewer's panel).
    void setSilenceAllChecked(bool checked);
    void setSilenceAllVisible(bool visible);
    QList<QWidget*> titleButtons() const;
    int titleBarHeight() const;
    void setTitleBarVisible(bool visible);

    ChatManager* chatManager() const { return m_chatManager.get(); }
    const ChatEmoticons& emoticons() const { return m_emoticons; }
    FaceDialog* faceDialog() const;

signals:
    void SignalForbiddenAll(bool checked);
    void sig_hideChatroomDialog();

private slots:
    void slot_resetTextColor();
    void on_pushButton_mcrf_send_clicked();
    void on_checkBox_silenceAll_clicked(bool checked);
    void on_pushButton_face_clicked();
    void on_pushButton_mcrf_close_clicked();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void styleChatWidgets();
    void loadEmoticons();
    // True when the key event was consumed.
    bool handleInputKey(QKeyEvent* event);
    void sendInput();
    void showMessage(const QString& handle, const QString& text, qint64 time);
    void showTip(const QString& name, bool joined);

    std::unique_ptr<Ui::MeetingChatRoomForm> ui;
    std::unique_ptr<ChatManager> m_chatManager;
    ChatEmoticons m_emoticons;
    // A child of the emoticon button, deleted with it.
    QPointer<FaceDialog> m_faceDialog;
};
