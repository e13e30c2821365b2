#pragma once

#include "global/ownedprocess.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class CameraWrapper;
class MeetingCtrlButton;

namespace Ui {
class MeetingMainCtrlForm;
}

// The meeting's control bar, held by the meeting form as `widget_ctrl`. Turns clicks into custom events,
// into its own signals and into starts of the whiteboard program; owns the camera feed while the host's
// camera is on. Registered with the event hub from construction to destruction. GUI thread only. Nothing
// here reports failure to the user: a camera that does not start leaves its button unchecked, and a
// whiteboard program that cannot be started is only logged.
class MeetingMainCtrlForm : public QWidget {
    Q_OBJECT
public:
    explicit MeetingMainCtrlForm(QWidget* parent = nullptr);
    ~MeetingMainCtrlForm() override;

    // The stop button's caption: "00:00:00" or the meeting's elapsed time.
    void setLiveTime(const QString& text);
    QString liveTime() const;
    // Ends the whiteboard programs this bar started (and only those); nothing when none runs.
    void killWhiteBoard();
    // Flips the camera button as a click would, running the camera dialog when it turns the camera on.
    void toggleCamera();
    // Whether the camera feed exists (switched on and not yet off).
    bool isCameraOn() const { return !m_camera.isNull(); }

signals:
    void CameraReady(QString sourceId, int width, int height);
    void CameraStop();
    void FrameRotate();
    void sig_tmpAddImageSource(QString image_path);

public slots:
    void on_pushButton_stop_clicked();
    void on_pushButton_open_or_close_camera_toggled(bool checked);
    void on_pushButton_board_clicked();
    void on_pushButton_call_clicked(bool checked);
    void on_pushButton_maximum_clicked();
    void on_pushButton_sys_voice_clicked(bool checked);
    void on_pushButton_locked_clicked(bool checked);
    void on_pushButton_rotate_clicked();
    void on_pushButton_add_image_clicked(bool checked);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initButtons();
    void setStateStyle(QObject* watched, int eventType, const QString& iconName);
    void applyLook(MeetingCtrlButton* button, bool checked, int eventType, const QString& iconName);
    void onReadyToCreateMeeting(QEvent* event);
    void applyAudioMode(int audioMode);
    void switchCameraOn();
    void switchCameraOff();
    void uncheckCamera();

    std::unique_ptr<Ui::MeetingMainCtrlForm> ui;
    QPointer<CameraWrapper> m_camera;
    bool m_whiteBoardStarted = false;
    // The whiteboard programs started since the last kill; each is ended by its own handle, never by name.
    std::vector<OwnedProcess> m_whiteBoards;
    // Whether a meeting runs, and which one: a camera dialog that returns after its meeting closed (or
    // after the next one started) starts nothing.
    bool m_meetingRunning = false;
    quint64 m_meetingSerial = 0;
};
