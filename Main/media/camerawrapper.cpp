#include "media/camerawrapper.h"

#include <studio/thirdsource.h>

#include <framekit/framekit.h>

#include <libyuv/convert.h>

#include <QTimerEvent>
#include <QUuid>

namespace {

constexpr int kPollIntervalMs = 33;

} // namespace

CameraWrapper::CameraWrapper() = default;

CameraWrapper::~CameraWrapper()
{
    m_input.reset();
    if (m_timerId)
        killTimer(m_timerId);
    if (!m_sourceIdUtf8.isEmpty())
        ThirdSource::UnregisterThirdSource(m_sourceIdUtf8.constData());
}

bool CameraWrapper::start(const QString& deviceId, int cx, int cy, int fps)
{
    Q_UNUSED(fps)
    if (m_input)
        return false;
    try {
        m_input = std::make_unique<DShow::DShowInput>(DShow::CameraConfig { deviceId.toStdString(), cx, cy });
    } catch (const char* message) {
        fk_log(FK_LOG_WARNING, "Camera '%s' could not be opened: %s", deviceId.toUtf8().constData(), message);
        return false;
    }
    m_timerId = startTimer(kPollIntervalMs, Qt::CoarseTimer);
    m_sourceId = QUuid::createUuid().toString(QUuid::WithBraces);
    m_sourceIdUtf8 = m_sourceId.toUtf8();
    ThirdSource::RegisterThirdSource(m_sourceIdUtf8.constData());
    return true;
}

void CameraWrapper::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId || !m_input)
        return;
    m_input->pollFrame(&CameraWrapper::frameCallback, this);
    if (m_firstPushAccepted && !m_readyEmitted) {
        m_readyEmitted = true;
        emit SignalStreamReady(m_sourceId);
    }
}

void CameraWrapper::frameCallback(uint8_t* data, int linesize, int cx, int cy, void* context)
{
    if (context)
        static_cast<CameraWrapper*>(context)->onFrame(data, linesize, cx, cy);
}

void CameraWrapper::onFrame(uint8_t* data, int linesize, int cx, int cy)
{
    if (!data || cx <= 0 || cy <= 0)
        return;
    // Chroma planes round up: an odd width or height still has its last column and row converted.
    const int chromaStride = (cx + 1) / 2;
    const size_t lumaSize = static_cast<size_t>(cx) * cy;
    const size_t chromaSize = static_cast<size_t>(chromaStride) * ((cy + 1) / 2);
    const size_t size = lumaSize + 2 * chromaSize;
    if (m_i420.size() != size)
        m_i420.resize(size);
    uint8_t* y = m_i420.data();
    uint8_t* u = y + lumaSize;
    uint8_t* v = u + chromaSize;
    libyuv::ARGBToI420(data, linesize, y, cx, u, chromaStride, v, chromaStride, cx, cy);
    if (ThirdSource::SourceAsncFrame(
            m_sourceIdUtf8.constData(), y, u, v, cx, chromaStride, chromaStride, cx, cy))
        m_firstPushAccepted = true;
}
