#pragma once

#include "ui/part/memberrecord.h"

#include <QWidget>

#include <memory>

namespace Ui {
class MeetingMemberItemForm;
}

// One row of the meeting's member list: the member's device and name and, for the host, the buttons that
// invite the member to co-broadcast, answer a screen-cast request, end a screen cast and kick the member.
// The row acts only through custom events and the kick request; it learns the outcome of an invitation by
// the state event of its own member. Made and owned by the member list; registered with the event hub for
// its whole life. GUI thread only.
class MeetingMemberItemForm : public QWidget {
    Q_OBJECT
public:
    explicit MeetingMemberItemForm(QWidget* parent = nullptr);
    ~MeetingMemberItemForm() override;

    void setMemberData(const MemberRecord& record);
    // 0 a computer, 1 a phone; other values change nothing.
    void setDeviceIcon(int type);
    // 0 none, 1 voice, 2 video; 3 (unchanged) and a viewer's rows keep their kind.
    void setKind(int kind);
    bool isMember(qint64 userId) const;
    bool isScreenRequestPending() const;

    const MemberRecord& memberData() const { return m_record; }
    int kind() const { return m_kind; }
    int screenStatus() const { return m_status; }

signals:
    // The screen-cast request panel appeared or went: the list resizes the row.
    void sig_refreshViewerListShow();

private slots:
    void on_pushButton_mmitem_delete_clicked();
    void on_pushButton_mmitem_audio_clicked(bool checked);
    void on_pushButton_mmitem_video_clicked(bool checked);
    void on_pushButton_mmitem_screen_clicked();
    void on_pushButton_mmitem_scn_yes_clicked();
    void on_pushButton_mmitem_scn_no_clicked();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void initForm();
    void setStatus(int status);
    void inviteClicked(bool checked, int rowKind, int inviteKind);
    void refreshState(qint64 userId, int kind, int status);
    bool hoverShowsButtons() const;

    std::unique_ptr<Ui::MeetingMemberItemForm> ui;
    int m_kind = 0;
    int m_status = 0;
    MemberRecord m_record;
    bool m_isHost = true;
};
