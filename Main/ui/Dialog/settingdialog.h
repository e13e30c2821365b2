#pragma once

#include <QDialog>

class QLabel;
class QWidget;

// The settings dialog: created once by the application object with the main window as parent and
// kept for the life of the process. Its settings pages come with the dialogs. GUI thread only.
class SettingDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingDialog(QWidget* parent = nullptr);

    // Shows the meeting host of the signed-in account (run-time data "user_meeting_host"); the host
    // line is hidden while there is none.
    void updateMeetingHost();

private:
    QLabel* m_hostTitle;
    QLabel* m_host;
};
