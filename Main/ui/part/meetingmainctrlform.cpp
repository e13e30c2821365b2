#include "ui/part/meetingmainctrlform.h"

#include "ui_meetingmainctrlform.h"

#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/eventdeliverer.h"
#include "global/filepicker.h"
#include "global/localaddress.h"
#include "global/meetingkeys.h"
#include "global/meetingprompt.h"
#include "global/processlauncher.h"
#include "global/settings.h"
#include "media/camerawrapper.h"
#include "ui/Dialog/cameraselectdialog.h"
#include "ui/part/meetingctrlbutton.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

#include <json/json.h>

#include <QDebug>
#include <QLabel>
#include <QDir>
#include <QFileInfo>

#include <iterator>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/meetingmainctrlform.css";
constexpr char kWhiteBoardProgram[] = "ZovWhiteBoard";
constexpr int kWhiteBoardGraceMs = 2000;

constexpr int kEvents[] = {
    UserEventType::CloseMeeting,
    UserEventType::V3ReadyToCreateMeeting,
    UserEventType::V3ReadyToAddMeeting,
    UserEventType::V3StreamReady,
};

const QString kCaptionStyle = QStringLiteral("font-family:\"Microsoft YaHei\"; font-size: 9pt; color: %1;");
const QString kIconStyle = QStringLiteral("border-image: url(:/image/%1.png);");
constexpr char kColorIdle[] = "#979797";
constexpr char kColorActive[] = "#3597FF";

// The looks of the six icon buttons, by checked state and mouse event: caption colour and icon suffix.
struct Look {
    bool checked;
    int eventType;
    const char* color;
    const char* iconSuffix;
};
constexpr Look kLooks[] = {
    { false, QEvent::Leave, "#979797", "" },
    { false, QEvent::Enter, "#A7A7A7", "_hover" },
    { false, QEvent::MouseButtonPress, "#3597FF", "_press" },
    { true, QEvent::Leave, "#3597FF", "_press" },
    { true, QEvent::Enter, "#1577DF", "_hover" },
    { true, QEvent::MouseButtonPress, "#3597FF", "" },
};

// The sound buttons' starting state per audio mode of a new meeting: true means silenced.
struct AudioPreset {
    const char* text;
    bool microphoneMuted;
    bool systemMuted;
};
constexpr AudioPreset kAudioPresets[] = {
    { "[仅系统声音]", true, false },
    { "[仅麦克风声音]", false, true },
    { "[系统声音和麦克风声音]", false, false },
    { "[不启动声音]", true, true },
};

// The camera dialog runs modally; where the meeting's prompts are answered by a hook (tests), the hook
// answers it too: 1 accepts the dialog's current choice.
int runCameraDialog(CameraSelectDialog& dialog)
{
    if (!hasMeetingPromptHook())
        return dialog.exec();
    MeetingPrompt prompt;
    prompt.title = dialog.windowTitle();
    prompt.text = QStringLiteral("camera");
    prompt.buttons = 3;
    return runMeetingPrompt(prompt, &dialog) == 1 ? QDialog::Accepted : QDialog::Rejected;
}

bg::Value dataValue(const char* key, const bg::Value& fallback)
{
    return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
}

QString& lastImageDir()
{
    static QString dir = QDir::homePath();
    return dir;
}

int iconSize() { return static_cast<int>(QssManager::dpiScale() * 36); }

} // namespace

MeetingMainCtrlForm::MeetingMainCtrlForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeetingMainCtrlForm>())
{
    ui->setupUi(this);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    initButtons();
    for (int type : kEvents)
        EventDeliverer::instance()->registerReceiver(type, this);
}

MeetingMainCtrlForm::~MeetingMainCtrlForm()
{
    for (int type : kEvents)
        EventDeliverer::instance()->unregisterReceiver(type, this);
    delete m_camera.data();
}

void MeetingMainCtrlForm::initButtons()
{
    const int n = iconSize();
    ui->pushButton_stop->topLabel()->setText(QStringLiteral("结束"));
    ui->pushButton_stop->topLabel()->setStyleSheet(QStringLiteral(
        "QLabel{color: #D7D7D7;font-family:\"Microsoft YaHei\";font-size:13pt;font-weight: bold;}"));
    ui->pushButton_stop->bottomLabel()->setText(QStringLiteral("00:00:00"));
    ui->pushButton_stop->bottomLabel()->setStyleSheet(
        QStringLiteral("QLabel{color: #D7D7D7;font-family:\"Microsoft YaHei\";font-size:9pt;}"));

    const struct {
        MeetingCtrlButton* button;
        const char* caption;
        const char* icon;
    } buttons[] = {
        { ui->pushButton_board, "画板", "ctrl_board" },
        { ui->pushButton_open_or_close_camera, "摄像头关", "ctrl_camera" },
        { ui->pushButton_call, "麦克风开", "ctrl_membercall" },
        { ui->pushButton_sys_voice, "系统声开", "ctrl_sysvoice" },
        { ui->pushButton_locked, "锁定", "ctrl_locked" },
        { ui->pushButton_add_image, "添加图片", "ctrl_add_image" },
    };
    for (const auto& entry : buttons) {
        entry.button->setProperty("iconName", QString::fromLatin1(entry.icon));
        entry.button->bottomLabel()->setText(tr(entry.caption));
        entry.button->bottomLabel()->setStyleSheet(kCaptionStyle.arg(QLatin1String(kColorIdle)));
        entry.button->topLabel()->setStyleSheet(kIconStyle.arg(QLatin1String(entry.icon)));
        entry.button->topLabel()->setFixedSize(n, n);
        entry.button->installEventFilter(this);
    }
    for (MeetingCtrlButton* button : { ui->pushButton_open_or_close_camera, ui->pushButton_call,
             ui->pushButton_sys_voice, ui->pushButton_locked })
        button->setCheckable(true);
    ui->pushButton_locked->hide();
    ui->label_mmc_showip->hide();
}

void MeetingMainCtrlForm::setLiveTime(const QString& text) { ui->pushButton_stop->setBottomText(text); }

QString MeetingMainCtrlForm::liveTime() const { return ui->pushButton_stop->bottomLabel()->text(); }

bool MeetingMainCtrlForm::event(QEvent* event)
{
    switch (static_cast<int>(event->type())) {
    case UserEventType::CloseMeeting:
        // The feed goes, the button stays checked until the next meeting starts.
        m_meetingRunning = false;
        switchCameraOff();
        ui->pushButton_open_or_close_camera->setBottomText(tr("摄像头关"));
        return true;
    case UserEventType::V3ReadyToCreateMeeting:
    case UserEventType::V3ReadyToAddMeeting:
        onReadyToCreateMeeting(event);
        return true;
    case UserEventType::V3StreamReady:
        ui->pushButton_stop->setEnabled(true);
        return true;
    default:
        return QWidget::event(event);
    }
}

bool MeetingMainCtrlForm::eventFilter(QObject* watched, QEvent* event)
{
    const QString iconName = watched->property("iconName").toString();
    if (!iconName.isEmpty())
        setStateStyle(watched, event->type(), iconName);
    return QWidget::eventFilter(watched, event);
}

void MeetingMainCtrlForm::setStateStyle(QObject* watched, int eventType, const QString& iconName)
{
    auto* button = qobject_cast<MeetingCtrlButton*>(watched);
    if (button)
        applyLook(button, button->isChecked(), eventType, iconName);
}

void MeetingMainCtrlForm::applyLook(
    MeetingCtrlButton* button, bool checked, int eventType, const QString& iconName)
{
    for (const Look& look : kLooks) {
        if (look.checked != checked || look.eventType != eventType)
            continue;
        button->bottomLabel()->setStyleSheet(kCaptionStyle.arg(QLatin1String(look.color)));
        button->topLabel()->setStyleSheet(kIconStyle.arg(iconName + QLatin1String(look.iconSuffix)));
        button->topLabel()->setFixedSize(iconSize(), iconSize());
        return;
    }
}

void MeetingMainCtrlForm::onReadyToCreateMeeting(QEvent* event)
{
    m_meetingRunning = true;
    ++m_meetingSerial;
    const bool host = dataValue(kDataMeetingIsHost, bg::Value(true)).toBool();
    ui->pushButton_stop->setEnabled(false);
    ui->pushButton_rotate->setVisible(!host);
    ui->pushButton_maximum->setVisible(!host);
    for (QWidget* button : std::initializer_list<QWidget*> { ui->pushButton_sys_voice, ui->pushButton_call,
             ui->pushButton_open_or_close_camera, ui->pushButton_add_image, ui->pushButton_board })
        button->setVisible(host);
    ui->pushButton_locked->hide();

    uncheckCamera();
    if (host) {
        ui->label_mmc_showip->setText(QStringLiteral("本机IP：%1").arg(localIpAddress()));
        if (event->type() == static_cast<QEvent::Type>(UserEventType::V3ReadyToCreateMeeting)) {
            applyAudioMode(static_cast<V3ReadyToCreateMeetingEvent*>(event)->audioMode);
            update();
        }
    }
    ui->label_mmc_showip->hide();
}

void MeetingMainCtrlForm::applyAudioMode(int audioMode)
{
    if (audioMode < 0 || audioMode >= static_cast<int>(std::size(kAudioPresets)))
        return;
    const AudioPreset& preset = kAudioPresets[audioMode];
    qDebug() << preset.text;
    // setChecked emits toggled only; the sound events go out on clicks.
    ui->pushButton_call->setChecked(preset.microphoneMuted);
    ui->pushButton_call->setBottomText(tr(preset.microphoneMuted ? "麦克风关" : "麦克风开"));
    applyLook(ui->pushButton_call, preset.microphoneMuted, QEvent::Leave, QStringLiteral("ctrl_membercall"));
    ui->pushButton_sys_voice->setChecked(preset.systemMuted);
    ui->pushButton_sys_voice->setBottomText(tr(preset.systemMuted ? "系统声关" : "系统声开"));
    applyLook(ui->pushButton_sys_voice, preset.systemMuted, QEvent::Leave, QStringLiteral("ctrl_sysvoice"));
}

void MeetingMainCtrlForm::uncheckCamera()
{
    ui->pushButton_open_or_close_camera->setChecked(false);
    applyLook(ui->pushButton_open_or_close_camera, false, QEvent::Leave, QStringLiteral("ctrl_camera"));
    ui->pushButton_open_or_close_camera->setBottomText(tr("摄像头关"));
}

void MeetingMainCtrlForm::on_pushButton_open_or_close_camera_toggled(bool checked)
{
    if (checked)
        switchCameraOn();
    else {
        switchCameraOff();
        ui->pushButton_open_or_close_camera->setBottomText(tr("摄像头关"));
    }
}

void MeetingMainCtrlForm::switchCameraOff()
{
    if (!m_camera)
        return;
    emit CameraStop();
    delete m_camera.data();
    m_camera.clear();
}

void MeetingMainCtrlForm::switchCameraOn()
{
    const quint64 serial = m_meetingSerial;
    QString deviceId;
    QString cameraText;
    int width = 0;
    int height = 0;
    int fps = 0;
    bool chosen = false;
    {
        CameraSelectDialog dialog(window());
        chosen = runCameraDialog(dialog) == QDialog::Accepted && dialog.currentCamera(deviceId, width, height, fps);
        if (chosen)
            dialog.currentResolution(cameraText);
    }
    // The dialog runs its own event loop: the meeting may have closed, or the button been switched off,
    // while it was open. Nothing starts then.
    if (!m_meetingRunning || serial != m_meetingSerial || !ui->pushButton_open_or_close_camera->isChecked()) {
        if (ui->pushButton_open_or_close_camera->isChecked() && !m_camera)
            uncheckCamera();
        return;
    }
    if (!chosen || m_camera) {
        if (!m_camera)
            uncheckCamera();
        return;
    }

    auto* camera = new CameraWrapper();
    m_camera = camera;
    connect(camera, &CameraWrapper::SignalStreamReady, this,
        [this, width, height](QString sourceId) { emit CameraReady(sourceId, width, height); });
    qDebug() << "[camera_id]:" << cameraText;
    if (camera->start(cameraText, width, height, fps)) {
        qDebug() << "open" << cameraText << "success";
        ui->pushButton_open_or_close_camera->setBottomText(tr("摄像头开"));
        return;
    }
    uncheckCamera();
}

void MeetingMainCtrlForm::toggleCamera()
{
    MeetingCtrlButton* button = ui->pushButton_open_or_close_camera;
    button->setChecked(!button->isChecked());
    const bool checked = button->isChecked();
    applyLook(button, checked, checked ? QEvent::Enter : QEvent::Leave, QStringLiteral("ctrl_camera"));
}

void MeetingMainCtrlForm::on_pushButton_call_clicked(bool checked)
{
    qDebug() << "主持端打开关闭麦克风声音";
    EventDeliverer::instance()->deliver(new V3ControlMicroAudioEvent(checked));
    ui->pushButton_call->setBottomText(tr(checked ? "麦克风关" : "麦克风开"));
}

void MeetingMainCtrlForm::on_pushButton_sys_voice_clicked(bool checked)
{
    qDebug() << "主持端打开关闭系统声音";
    EventDeliverer::instance()->deliver(new V3ControlSystemAudioEvent(checked));
    ui->pushButton_sys_voice->setBottomText(tr(checked ? "系统声关" : "系统声开"));
}

void MeetingMainCtrlForm::on_pushButton_locked_clicked(bool checked)
{
    qDebug() << "主持端直播房间上锁解锁";
    ui->pushButton_locked->setBottomText(tr(checked ? "已锁定" : "锁定"));
}

void MeetingMainCtrlForm::on_pushButton_board_clicked()
{
    if (dataInteger(dataValue(kDataUserId, bg::Value(0LL))) == 0) {
        EventDeliverer::instance()->deliver(new LoginEvent());
        return;
    }
    if (dataInteger(dataValue(kDataUserLevel, bg::Value(0LL))) < 2) {
        EventDeliverer::instance()->deliver(new PayEvent());
        return;
    }
    Json::Value command(Json::objectValue);
    command["cmd"] = "show_hide";
    const QString argument = QString::fromStdString(bg::Crypt().base64_encode(command.toStyledString()));
    const QString program = QString::fromLatin1(kWhiteBoardProgram);
    qDebug() << "command:" << findHelperProgram(program) << argument;
    m_whiteBoardStarted = true;
    qint64 pid = 0;
    if (!launchHelperProgram(program, { argument }, &pid)) {
        qWarning() << "could not start the whiteboard program" << program << "(beside this program or on PATH)";
        return;
    }
    // A replaced launcher (tests) may answer an id of its own making: only a real start is held, so the
    // kill can never reach a process that happens to carry such an id.
    if (hasProcessLauncher())
        return;
    OwnedProcess process(pid);
    if (process.isValid())
        m_whiteBoards.push_back(std::move(process));
}

void MeetingMainCtrlForm::killWhiteBoard()
{
    if (!m_whiteBoardStarted)
        return;
    qDebug() << "command: ending" << m_whiteBoards.size() << "whiteboard process(es)";
    OwnedProcess::terminate(std::move(m_whiteBoards), kWhiteBoardGraceMs);
    m_whiteBoards.clear();
    m_whiteBoardStarted = false;
}

void MeetingMainCtrlForm::on_pushButton_add_image_clicked(bool)
{
    const QString path = pickOpenFile(
        window(), tr("添加图片"), lastImageDir(), QStringLiteral("files (*.bmp *.png *.jpeg *.jpg)"));
    if (path.isEmpty())
        return;
    lastImageDir() = QFileInfo(path).absolutePath();
    emit sig_tmpAddImageSource(path);
}

void MeetingMainCtrlForm::on_pushButton_stop_clicked()
{
    setNormalCancel(true);
    BG_LOGE("[CloseMeeting]:主持端点击停止按钮停止直播");
    EventDeliverer::instance()->deliver(new CloseMeetingEvent());
}

void MeetingMainCtrlForm::on_pushButton_rotate_clicked() { emit FrameRotate(); }

void MeetingMainCtrlForm::on_pushButton_maximum_clicked()
{
    qDebug() << "观看端界面最大化";
    EventDeliverer::instance()->deliver(new V3ShowFullScreenEvent());
}
