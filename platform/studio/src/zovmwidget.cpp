#include <studio/zovmwidget.h>

#include <QMouseEvent>
#include <QPainter>

class StudioEngine {
public:
    QString iniPath;
    QSize outputSize { 1280, 720 };
    int fps = 30;
    int bitrate = 1000;
    int keyFrameSec = 3;
    EncodeRateControl rateControl = EncodeRateControl_Constant;
    VideoEncoder encoder = VideoEncoder_Software;
    bool preview = false;
    bool desktopAudio = false;
    bool microphone = false;
    bool desktopMuted = false;
    bool microphoneMuted = false;
    QString recordDir;
    StudioScene scene;
};

ZovMWidget::ZovMWidget(QWidget* parent)
    : QWidget(parent)
    , m_engine(std::make_unique<StudioEngine>())
{
}

ZovMWidget::~ZovMWidget() = default;

bool ZovMWidget::Initialize(const QString& iniPath)
{
    m_engine->iniPath = iniPath;
    return true;
}
void ZovMWidget::SetRateControl(EncodeRateControl control) { m_engine->rateControl = control; }
void ZovMWidget::SetVideoBitRate(int kbps) { m_engine->bitrate = kbps; }
void ZovMWidget::ResetOutputs() { m_engine->scene.setCanvasSize(m_engine->outputSize); }
void ZovMWidget::ResetVideoSize(int width, int height) { m_engine->outputSize = QSize(width, height); }
void ZovMWidget::SetFps(int fps) { m_engine->fps = fps; }
void ZovMWidget::SetVideoKeyFrameSec(int seconds) { m_engine->keyFrameSec = seconds; }
void ZovMWidget::SetEncoder(VideoEncoder encoder) { m_engine->encoder = encoder; }
void ZovMWidget::DisableBFrame() { }
void ZovMWidget::InitializePreview() { m_engine->preview = true; }
void ZovMWidget::FinalizePreview() { m_engine->preview = false; }
void* ZovMWidget::AddDesktopCapture() { return m_engine->scene.addDesktop(QRect()); }
void* ZovMWidget::AddPartDesktopCapture(int x, int y, int width, int height)
{
    return m_engine->scene.addDesktop(QRect(x, y, width, height));
}
void* ZovMWidget::AddImageSource(const QString& path, const QPoint& position)
{
    return m_engine->scene.addImage(QImage(path), path, position);
}
void* ZovMWidget::AddThirdSource(const QString& id, const QPoint& position)
{
    return m_engine->scene.addThird(id, position);
}
void ZovMWidget::RemoveSource(void* handle) { m_engine->scene.remove(handle); }
bool ZovMWidget::GetSourcePos(void* handle, QPoint& position) { return m_engine->scene.position(handle, position); }
void ZovMWidget::AddDesktopAudio() { m_engine->desktopAudio = true; }
void ZovMWidget::RemoveDesktopAudio() { m_engine->desktopAudio = false; }
void ZovMWidget::AddMicrophoneSource() { m_engine->microphone = true; }
void ZovMWidget::RemoveMicrophoneSource() { m_engine->microphone = false; }
void ZovMWidget::MuteDesktopAudio(bool mute) { m_engine->desktopMuted = mute; }
void ZovMWidget::MuteMicrophone(bool mute) { m_engine->microphoneMuted = mute; }
void ZovMWidget::StartStreaming(const char*, const char*, const char*, const char*) { emit SignalStreamingStoped(); }
void ZovMWidget::StopStreaming() { }
int64_t ZovMWidget::GetWebrtcRoomID() const { return 0; }
void ZovMWidget::SetRecordDir(const QString& folder) { m_engine->recordDir = folder; }
void ZovMWidget::StartRecording() { }
void ZovMWidget::StopRecording() { }
QString ZovMWidget::iniPath() const { return m_engine->iniPath; }
QSize ZovMWidget::outputSize() const { return m_engine->outputSize; }
int ZovMWidget::fps() const { return m_engine->fps; }
int ZovMWidget::videoBitRate() const { return m_engine->bitrate; }
int ZovMWidget::keyFrameSec() const { return m_engine->keyFrameSec; }
EncodeRateControl ZovMWidget::rateControl() const { return m_engine->rateControl; }
VideoEncoder ZovMWidget::encoder() const { return m_engine->encoder; }
bool ZovMWidget::isPreviewInitialized() const { return m_engine->preview; }
bool ZovMWidget::hasDesktopAudio() const { return m_engine->desktopAudio; }
bool ZovMWidget::hasMicrophone() const { return m_engine->microphone; }
bool ZovMWidget::isDesktopAudioMuted() const { return m_engine->desktopMuted; }
bool ZovMWidget::isMicrophoneMuted() const { return m_engine->microphoneMuted; }
bool ZovMWidget::isStreaming() const { return false; }
bool ZovMWidget::isStreamingStarted() const { return false; }
bool ZovMWidget::isRecording() const { return false; }
QString ZovMWidget::recordDir() const { return m_engine->recordDir; }
QString ZovMWidget::recordingPath() const { return QString(); }
std::vector<StudioSourceInfo> ZovMWidget::sources() const { return m_engine->scene.sources(); }
QImage ZovMWidget::canvasImage() const { return QImage(); }
uint64_t ZovMWidget::composedFrameCount() const { return 0; }
QRect ZovMWidget::canvasViewRect() const { return rect(); }
void ZovMWidget::setConnectTimeoutMs(int) { }
void ZovMWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}
void ZovMWidget::mousePressEvent(QMouseEvent* event) { QWidget::mousePressEvent(event); }
void ZovMWidget::mouseMoveEvent(QMouseEvent* event) { QWidget::mouseMoveEvent(event); }
void ZovMWidget::mouseReleaseEvent(QMouseEvent* event) { QWidget::mouseReleaseEvent(event); }
