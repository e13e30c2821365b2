#include "ui/shadowproxy.h"

#include "ui/compositor.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace {

const char* const kImages[] = { ":/shadow/shadow_left", ":/shadow/shadow_right", ":/shadow/shadow_top",
    ":/shadow/shadow_bottom", ":/shadow/shadow_left_top", ":/shadow/shadow_right_top",
    ":/shadow/shadow_left_bottom", ":/shadow/shadow_right_bottom" };

enum Piece { Left, Right, Top, Bottom, LeftTop, RightTop, LeftBottom, RightBottom };

} // namespace

ShadowProxy::ShadowProxy(QWidget* host)
    : QObject(host)
    , m_host(host)
    , m_enabled(memvia::hasCompositor())
{
    memvia::ensureResources();
    for (size_t i = 0; i < m_pixmaps.size(); ++i)
        m_pixmaps[i].load(QString::fromLatin1(kImages[i]) + ".png");
    host->installEventFilter(this);
    if (m_enabled) {
        host->setAttribute(Qt::WA_TranslucentBackground);
        setShadowWidth(host->isMaximized() ? 0 : kShadowWidth);
    } else {
        setShadowWidth(0);
    }
}

ShadowProxy::~ShadowProxy()
{
    if (m_host)
        m_host->removeEventFilter(this);
}

void ShadowProxy::setShadowWidth(int width)
{
    m_shadowWidth = width;
    if (m_host)
        m_host->setContentsMargins(width, width, width, width);
}

bool ShadowProxy::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Paint) {
        // Without a compositor the card alone: the same white ground, no shadow.
        paint();
    } else if (watched == m_host && m_enabled) {
        switch (event->type()) {
        case QEvent::Show:
            m_host->repaint();
            break;
        case QEvent::WindowStateChange:
            if (m_host->windowState() == Qt::WindowMaximized)
                setShadowWidth(0);
            else if (m_host->windowState() == Qt::WindowNoState)
                setShadowWidth(kShadowWidth);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ShadowProxy::paint()
{
    const int s = m_shadowWidth;
    const int w = m_host->width();
    const int h = m_host->height();
    QPainter painter(m_host);
    if (s > 0) {
        const int corner = s + 2;
        painter.drawPixmap(QRect(0, 0, corner, corner), m_pixmaps[LeftTop]);
        painter.drawPixmap(QRect(w - corner, 0, corner, corner), m_pixmaps[RightTop]);
        painter.drawPixmap(QRect(0, h - corner, corner, corner), m_pixmaps[LeftBottom]);
        painter.drawPixmap(QRect(w - corner, h - corner, corner, corner), m_pixmaps[RightBottom]);
        const int sideHeight = h - 2 * s - 4;
        const int sideWidth = w - 2 * s - 4;
        painter.drawPixmap(QRect(0, corner, s, sideHeight), m_pixmaps[Left]);
        painter.drawPixmap(QRect(w - s, corner, s, sideHeight), m_pixmaps[Right]);
        painter.drawPixmap(QRect(corner, 0, sideWidth, s), m_pixmaps[Top]);
        painter.drawPixmap(QRect(corner, h - s, sideWidth, s), m_pixmaps[Bottom]);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0, 0, 0, 30));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRect(s, s, w - 2 * s, h - 2 * s), 0, 0);
}
