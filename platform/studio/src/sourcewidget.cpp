#include <studio/sourcewidget.h>
#include <studio/thirdsource.h>

#include <QPainter>

#include <libyuv/convert_argb.h>

namespace {

constexpr int kPollIntervalMs = 33;

} // namespace

SourceWidget::SourceWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_poll.setInterval(kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &SourceWidget::poll);
}

SourceWidget::~SourceWidget() = default;

void SourceWidget::InitializeSource(const char* id)
{
    m_id = QString::fromUtf8(id ? id : "");
    m_bound = true;
    ++m_initializeCount;
    m_shownSequence = 0;
    m_picture = QImage();
    m_poll.start();
    poll();
    update();
}

void SourceWidget::FinalizeSource()
{
    m_bound = false;
    m_poll.stop();
    m_picture = QImage();
    m_shownSequence = 0;
    update();
}

void SourceWidget::poll()
{
    const auto picture = ThirdSource::latestPicture(m_id.toUtf8().constData());
    if (!picture || picture->sequence == m_shownSequence)
        return;
    QImage image(picture->width, picture->height, QImage::Format_RGB32);
    libyuv::I420ToARGB(picture->y.data(), picture->strideY(), picture->u.data(), picture->strideUV(),
        picture->v.data(), picture->strideUV(), image.bits(), int(image.bytesPerLine()), picture->width,
        picture->height);
    m_picture = image;
    m_shownSequence = picture->sequence;
    update();
}

void SourceWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_bound || m_picture.isNull())
        return;
    const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture);
}
