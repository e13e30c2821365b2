#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class NewMeetingReadyForm;
}

// The main window's page from which a meeting starts. Its create page makes a meeting on the room service
// for a signed-in member (title, sound, a four-digit password or none); its join page joins one by room
// number, nickname and password. A reply becomes the event that starts the meeting form
// (V3ReadyToCreateMeetingEvent, V3ReadyToAddMeetingEvent) after its keys are stored in the run-time data.
//
// Made once by the main window and kept for its life. Each request carries a tag of its own and only the
// reply with that tag is taken; while a request runs its button stays disabled. GUI thread only.
class NewMeetingReadyForm : public QWidget {
    Q_OBJECT
public:
    // The password a meeting without password is made with: it admits anyone.
    static constexpr char kNoPassword[] = "580917";

    explicit NewMeetingReadyForm(QWidget* parent = nullptr);
    ~NewMeetingReadyForm() override;

    int audioMode() const { return m_audioMode; }
    QString meetingKey() const { return m_meetingKey; }
    // "head" + "body" when both are set, else eight random digits, leading zeros kept.
    static QString makeRoomNumber(const QString& head, const QString& body);
    Ui::NewMeetingReadyForm* form() const { return ui.get(); }

public slots:
    void on_pushButton_create_meeting_clicked();
    void on_pushButton_add_meeting_clicked();
    void on_comboBox_voices_currentIndexChanged(int index);
    void on_pushButton_get_phone_links_clicked();
    void on_checkBox_no_pwd_stateChanged(int state);
    void on_pushButton_change_to_creat_clicked();
    void on_pushButton_change_to_add_clicked();

protected:
    bool event(QEvent* event) override;

private:
    void init();
    void showPage(int page);
    void requestCreateMeeting(const QString& title, const QString& password, const QRect& area, int audioMode);
    void requestJoinMeeting(const QString& nickname, const QString& password);
    void onCreateMeetingResult(bool result, const QString& json, int code, const QString& error,
        const QString& title, const QString& password, const QRect& area, int audioMode);
    void onJoinMeetingResult(bool result, const QString& json, int code, const QString& error, const QString& nickname);
    QString nextTag();

    std::unique_ptr<Ui::NewMeetingReadyForm> ui;
    QRect m_area;
    int m_audioMode = 2;
    QString m_meetingKey;
    quint64 m_serial = 0;
};
