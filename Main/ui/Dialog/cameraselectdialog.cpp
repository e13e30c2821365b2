#include "ui/Dialog/cameraselectdialog.h"

#include "ui_cameraselectdialog.h"

#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QListView>
#include <QVariant>

namespace {

constexpr char kStyleSheet[] = ":/qss/dialog/cameraselectdialog.css";
constexpr int kWidth = 420;
constexpr int kHeight = 180;
constexpr int kTitleHeight = 40;

} // namespace

CameraSelectDialog::CameraSelectDialog(QWidget* parent)
    : CameraSelectDialog(parent, CameraEnumeration::library())
{
}

CameraSelectDialog::CameraSelectDialog(QWidget* parent, CameraEnumeration enumeration)
    : QDialog(parent)
    , m_enumeration(std::move(enumeration))
    , ui(std::make_unique<Ui::CameraSelectDialog>())
{
    registerCapabilityMetaType();
    ui->setupUi(this);
    setUpWindow();
    listCameras();
    requestFrame();
}

CameraSelectDialog::~CameraSelectDialog() = default;

void CameraSelectDialog::setUpWindow()
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowTitle(tr("摄像头"));
    (new QssManager(this))->loadStyleSheet(QString::fromLatin1(kStyleSheet));

    const double scale = QssManager::dpiScale();
    setFixedSize(qRound(kWidth * scale), qRound(kHeight * scale));
    ui->widget_title->setFixedHeight(int(scale * kTitleHeight));

    // The style sheet's item rules apply to a QListView popup only.
    ui->comboBox_camera_name->setView(new QListView(ui->comboBox_camera_name));
    ui->comboBox_camera_resolution->setView(new QListView(ui->comboBox_camera_resolution));
}

void CameraSelectDialog::listCameras()
{
    // The first item appended becomes current, which lists its modes.
    for (const CameraDevice& device : listCameraDevices(m_enumeration))
        ui->comboBox_camera_name->addItem(device.name, device.uniqueId);
}

void CameraSelectDialog::requestFrame()
{
    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(QList<QObject*> { ui->pushButton_close }));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, int(QssManager::dpiScale() * kTitleHeight));
    requestFramelessFrame(this);
}

bool CameraSelectDialog::currentCamera(QString& deviceId, int& width, int& height, int& fps)
{
    if (ui->comboBox_camera_name->count() == 0 || ui->comboBox_camera_resolution->count() == 0)
        return false;
    const Capability mode = ui->comboBox_camera_resolution->currentData().value<Capability>();
    deviceId = ui->comboBox_camera_name->currentData().toString();
    width = mode.width;
    height = mode.height;
    fps = mode.fps;
    return true;
}

bool CameraSelectDialog::currentResolution(QString& label)
{
    const QString name = ui->comboBox_camera_name->currentText();
    QString id = ui->comboBox_camera_name->currentData().toString();
    if (id == name)
        id.clear();
    label = QStringLiteral("%1:%2").arg(name, id);
    return true;
}

void CameraSelectDialog::on_comboBox_camera_name_currentIndexChanged(int index)
{
    ui->comboBox_camera_resolution->clear();
    if (index < 0)
        return;
    const QString uniqueId = ui->comboBox_camera_name->itemData(index).toString();
    for (const CameraModeItem& item : orderedCameraModes(listCameraModes(m_enumeration, uniqueId)))
        ui->comboBox_camera_resolution->addItem(item.text, QVariant::fromValue(item.capability));
}

void CameraSelectDialog::on_pushButton_camera_ok_clicked() { accept(); }

void CameraSelectDialog::on_pushButton_close_clicked() { reject(); }
