#include <studio/zovmwidget.h>

#include "studioengine.h"

#include <framekit/framekit.h>

#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kMaxImageSide = 8192;

QImage readImage(const QString& path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        return QImage();
    return reader.read();
}

} // namespace

ZovMWidget::ZovMWidget(QWidget* parent)
    : QWidget(parent)
    , m_engine(std::make_unique<StudioEngine>(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

ZovMWidget::~ZovMWidget() = default;

bool ZovMWidget::Initialize(const QString& iniPath)
{
    StudioEngine& e = *m_engine;
    e.iniPath = StudioSettings::resolvePath(iniPath);
    if (e.iniPath.isEmpty()) {
        fk_log(FK_LOG_WARNING, "studio: no place for the settings file; defaults are used");
        return false;
    }
    const bool read = e.pending.load(e.iniPath);
    if (!read)
        fk_log(FK_LOG_WARNING, "studio: the settings file %s cannot be read; defaults are used",
            qUtf8Printable(e.iniPath));
    e.applySettings();
    return read && QFileInfo::exists(e.iniPath);
}

void ZovMWidget::SetRateControl(EncodeRateControl control)
{
    if (control >= EncodeRateControl_Quality && control <= EncodeRateControl_Constant)
        m_engine->pending.rateControl = control;
}

void ZovMWidget::SetVideoBitRate(int kbps)
{
    if (kbps >= 50 && kbps <= 100000)
        m_engine->pending.bitrateKbps = kbps;
    else
        fk_log(FK_LOG_WARNING, "studio: bit rate %d kbit/s is out of range; kept at %d", kbps,
            m_engine->pending.bitrateKbps);
}

void ZovMWidget::ResetOutputs() { m_engine->applySettings(); }

void ZovMWidget::ResetVideoSize(int width, int height)
{
    if (width >= 16 && height >= 16 && width <= 7680 && height <= 4320)
        m_engine->pending.outputSize = QSize(width & ~1, height & ~1);
    else
        fk_log(FK_LOG_WARNING, "studio: output size %dx%d is out of range", width, height);
}

void ZovMWidget::SetFps(int fps)
{
    if (fps >= 1 && fps <= 120)
        m_engine->pending.fps = fps;
    else
        fk_log(FK_LOG_WARNING, "studio: frame rate %d is out of range", fps);
}

void ZovMWidget::SetVideoKeyFrameSec(int seconds)
{
    if (seconds >= 1 && seconds <= 60)
        m_engine->pending.keyFrameSec = seconds;
    else
        fk_log(FK_LOG_WARNING, "studio: key-frame interval %d s is out of range", seconds);
}

void ZovMWidget::SetEncoder(VideoEncoder encoder)
{
    if (encoder == VideoEncoder_Software || encoder == VideoEncoder_Hardware)
        m_engine->pending.encoder = encoder;
}

void ZovMWidget::DisableBFrame()
{
    // VP8 has no B frames.
}

void ZovMWidget::InitializePreview()
{
    m_engine->setPreview(true);
    update();
}

void ZovMWidget::FinalizePreview()
{
    m_engine->setPreview(false);
    m_dragged = nullptr;
    update();
}

void* ZovMWidget::AddDesktopCapture() { return m_engine->scene.addDesktop(QRect()); }

void* ZovMWidget::AddPartDesktopCapture(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0) {
        fk_log(FK_LOG_WARNING, "studio: desktop area %dx%d is empty; the whole screen is captured", width, height);
        return AddDesktopCapture();
    }
    return m_engine->scene.addDesktop(QRect(x, y, width, height));
}

void* ZovMWidget::AddImageSource(const QString& path, const QPoint& position)
{
    void* handle = m_engine->scene.addImage(readImage(path), path, position);
    if (!handle)
        fk_log(FK_LOG_ERROR, "studio: the image %s cannot be read", qUtf8Printable(path));
    return handle;
}

void* ZovMWidget::AddThirdSource(const QString& id, const QPoint& position)
{
    return m_engine->scene.addThird(id, position);
}

void ZovMWidget::RemoveSource(void* handle)
{
    if (handle == m_dragged)
        m_dragged = nullptr;
    m_engine->scene.remove(handle);
}

bool ZovMWidget::GetSourcePos(void* handle, QPoint& position) { return m_engine->scene.position(handle, position); }

void ZovMWidget::AddDesktopAudio()
{
    m_engine->desktopAudio = true;
    m_engine->applyMutes();
}

void ZovMWidget::RemoveDesktopAudio()
{
    m_engine->desktopAudio = false;
    m_engine->applyMutes();
}

void ZovMWidget::AddMicrophoneSource()
{
    m_engine->microphone = true;
    m_engine->applyMutes();
}

void ZovMWidget::RemoveMicrophoneSource()
{
    m_engine->microphone = false;
    m_engine->applyMutes();
}

void ZovMWidget::MuteDesktopAudio(bool mute)
{
    m_engine->desktopMuted = mute;
    m_engine->applyMutes();
}

void ZovMWidget::MuteMicrophone(bool mute)
{
    m_engine->microphoneMuted = mute;
    m_engine->applyMutes();
}

void ZovMWidget::StartStreaming(const char* url, const char* token, const char*, const char*)
{
    m_engine->startPush(url ? url : "", token ? token : "");
}

void ZovMWidget::StopStreaming() { m_engine->stopPush(); }

int64_t ZovMWidget::GetWebrtcRoomID() const { return m_engine->streamId; }

void ZovMWidget::SetRecordDir(const QString& folder)
{
    m_engine->pending.recordDir = folder;
    m_engine->applied.recordDir = folder;
    m_engine->saveSettings();
}

void ZovMWidget::StartRecording() { m_engine->startRecording(); }

void ZovMWidget::StopRecording() { m_engine->stopRecording(); }

QString ZovMWidget::iniPath() const { return m_engine->iniPath; }
QSize ZovMWidget::outputSize() const { return m_engine->applied.outputSize; }
int ZovMWidget::fps() const { return m_engine->applied.fps; }
int ZovMWidget::videoBitRate() const { return m_engine->applied.bitrateKbps; }
int ZovMWidget::keyFrameSec() const { return m_engine->applied.keyFrameSec; }
EncodeRateControl ZovMWidget::rateControl() const { return EncodeRateControl(m_engine->applied.rateControl); }
VideoEncoder ZovMWidget::encoder() const { return VideoEncoder(m_engine->applied.encoder); }
bool ZovMWidget::isPreviewInitialized() const { return m_engine->previewOn(); }
bool ZovMWidget::hasDesktopAudio() const { return m_engine->desktopAudio; }
bool ZovMWidget::hasMicrophone() const { return m_engine->microphone; }
bool ZovMWidget::isDesktopAudioMuted() const { return m_engine->desktopMuted; }
bool ZovMWidget::isMicrophoneMuted() const { return m_engine->microphoneMuted; }
bool ZovMWidget::isStreaming() const { return m_engine->pushState != StudioEngine::PushState::Idle; }
bool ZovMWidget::isStreamingStarted() const { return m_engine->pushState == StudioEngine::PushState::Running; }
bool ZovMWidget::isRecording() const { return m_engine->recording(); }
QString ZovMWidget::recordDir() const { return m_engine->applied.recordDir; }
QString ZovMWidget::recordingPath() const { return m_engine->recordingPath; }
std::vector<StudioSourceInfo> ZovMWidget::sources() const { return m_engine->scene.sources(); }
QImage ZovMWidget::canvasImage() const { return m_engine->preview(); }
uint64_t ZovMWidget::composedFrameCount() const { return m_engine->composedFrames(); }
void ZovMWidget::setConnectTimeoutMs(int ms) { m_engine->connectTimeoutMs = std::max(1, ms); }

QRect ZovMWidget::canvasViewRect() const { return fitRect(m_engine->scene.canvasSize(), rect()); }

void ZovMWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_engine->previewOn())
        return;
    const QImage picture = m_engine->preview();
    if (picture.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(fitRect(picture.size(), rect()), picture);
}

namespace {

QPoint toCanvas(const QPoint& widgetPoint, const QRect& view, const QSize& canvas)
{
    if (view.isEmpty())
        return QPoint(-1, -1);
    return QPoint(int((widgetPoint.x() - view.x()) * qint64(canvas.width()) / view.width()),
        int((widgetPoint.y() - view.y()) * qint64(canvas.height()) / view.height()));
}

} // namespace

void ZovMWidget::mousePressEvent(QMouseEvent* event)
{
    const QRect view = canvasViewRect();
    if (!m_engine->previewOn() || !view.contains(event->pos())) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = toCanvas(event->pos(), view, m_engine->scene.canvasSize());
    void* handle = m_engine->scene.sourceAt(point);
    if (event->button() == Qt::RightButton) {
        if (handle)
            emit SourceContextMenuRequested(handle);
        return;
    }
    QPoint position;
    if (event->button() == Qt::LeftButton && handle && m_engine->scene.position(handle, position)) {
        for (const StudioSourceInfo& info : m_engine->scene.sources())
            if (info.handle == handle && info.kind == StudioSourceKind::Desktop)
                return; // fitted into the canvas, not moved
        m_dragged = handle;
        m_dragOffset = point - position;
    }
}

void ZovMWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragged || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint point = toCanvas(event->pos(), canvasViewRect(), m_engine->scene.canvasSize());
    if (!m_engine->scene.move(m_dragged, point - m_dragOffset))
        m_dragged = nullptr;
}

void ZovMWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragged = nullptr;
    QWidget::mouseReleaseEvent(event);
}
