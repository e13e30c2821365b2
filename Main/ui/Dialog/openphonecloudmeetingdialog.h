#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class OpenPhoneCloudMeetingDialog;
}

// Shows the link that starts the meeting on a phone (the application configuration's "play_host", as
// plain text) and copies it to the clipboard; the copy button confirms for two seconds. The new-meeting
// form runs it modally and destroys it. GUI thread only.
class OpenPhoneCloudMeetingDialog : public QDialog {
    Q_OBJECT
public:
    explicit OpenPhoneCloudMeetingDialog(QWidget* parent = nullptr);
    ~OpenPhoneCloudMeetingDialog() override;

private slots:
    void on_pushButton_copy_links_clicked();
    void on_pushButton_close_clicked();

private:
    void setCopyState(bool copied);

    std::unique_ptr<Ui::OpenPhoneCloudMeetingDialog> ui;
};
