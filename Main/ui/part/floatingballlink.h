#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class LocalServer;
class MeetingMainCtrlForm;
class QWidget;

// The meeting's side of the floating control program's link: turns the JSON texts that arrive through the
// local server into actions on the meeting window and its control bar, and sends the meeting's state
// back. Texts that are not JSON objects, or whose "type" is unknown, are ignored. Owned by the meeting
// form; holds the window, the bar and the server only by guarded pointers. GUI thread only.
class FloatingBallLink : public QObject {
    Q_OBJECT
public:
    // `window` is any widget of the meeting window; its top-level window is the one shown and restored.
    FloatingBallLink(QWidget* window, MeetingMainCtrlForm* bar, QObject* parent = nullptr);

    // The server the ball is connected through; every received text goes to handleMessage. Null detaches.
    void setServer(LocalServer* server);
    LocalServer* server() const { return m_server; }

    // What "chatroom" and "memberlist" open: the meeting form's pop-out dialogs.
    std::function<void()> showChatRoom;
    std::function<void()> showMemberList;

    void handleMessage(const QString& text);

    // Outgoing messages; each is sent only while the server is alive.
    void sendCameraState(bool opened);
    void sendDuration(qint64 seconds);
    void sendHide();

    static QString cameraMessage(bool opened);
    static QString durationMessage(qint64 seconds);
    static QString hideMessage();

private:
    void closeMeeting();
    void showWindow();
    void send(const QString& text);

    QPointer<QWidget> m_window;
    QPointer<MeetingMainCtrlForm> m_bar;
    QPointer<LocalServer> m_server;
};
