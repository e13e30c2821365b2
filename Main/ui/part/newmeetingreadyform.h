#pragma once

#include <QWidget>

// Placed by the main window as a page of its stack; built without a parent. The form's own content and
// events come with the live-meeting forms. GUI thread only.
class NewMeetingReadyForm : public QWidget {
    Q_OBJECT
public:
    explicit NewMeetingReadyForm(QWidget* parent = nullptr);
};
