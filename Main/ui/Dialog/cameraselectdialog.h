#pragma once

#include "ui/Dialog/cameralisting.h"

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CameraSelectDialog;
}

// The modal camera chooser the meeting room runs before it turns the camera on: a camera and one of its
// capture modes, as the WebRTC library lists them when the dialog is made. The caller reads the choice
// after exec() returned QDialog::Accepted.
// Owned by its creator (Qt parent or stack). GUI thread only. A camera the library cannot name is left
// out; no camera, or a camera without modes, makes currentCamera() false.
class CameraSelectDialog : public QDialog {
    Q_OBJECT
public:
    explicit CameraSelectDialog(QWidget* parent = nullptr);
    // Lists through `enumeration` in place of the WebRTC library.
    CameraSelectDialog(QWidget* parent, CameraEnumeration enumeration);
    ~CameraSelectDialog() override;

    // False, with the outputs untouched, when either list is empty; else the chosen camera's unique id and
    // mode.
    bool currentCamera(QString& deviceId, int& width, int& height, int& fps);
    // "name:id" of the chosen camera, "name:" when its id is its name: the camera text the camera wrapper
    // starts from. Always true.
    bool currentResolution(QString& label);

private slots:
    void on_comboBox_camera_name_currentIndexChanged(int index);
    void on_pushButton_camera_ok_clicked();
    void on_pushButton_close_clicked();

private:
    void setUpWindow();
    void listCameras();
    void requestFrame();

    CameraEnumeration m_enumeration;
    std::unique_ptr<Ui::CameraSelectDialog> ui;
};
