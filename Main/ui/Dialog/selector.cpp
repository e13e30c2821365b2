#include "ui/Dialog/selector.h"

#include "ui/Dialog/rectselectmenu.h"
#include "ui/Dialog/selectorgeometry.h"
#include "win/qssmanager.h"
#include "win/screengrabber.h"

#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

using namespace selectorgeometry;

namespace {

const QColor kDimming(30, 90, 30, 70);
const QColor kInfoFill(129, 166, 117, 160);
const char kInfoPattern[] = QT_TRANSLATE_NOOP("Selector", " x:%1,y:%2 [%3x%4] \n 鼠标双击, 确定选区!");

// The tool bar's height, read from the first one placed in this process.
int g_menuHeight = -1;

QRectF defaultSelection()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect available = primary ? primary->availableGeometry() : QRect();
    return QRectF(available.adjusted(100, 100, -250, -250));
}

} // namespace

Selector::Selector(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_menu(new RectSelectMenu(this))
{
    setWindowTitle(QStringLiteral("Tavicast"));
    setMouseTracking(true);
}

Selector::~Selector() = default;

void Selector::start(const QRectF& initial)
{
    m_ratio = devicePixelRatioF();
    const QRect desktop = ScreenGrabber::virtualDesktop();
    m_fullShot = ScreenGrabber::grabVirtualDesktop();
    // The picture is in physical pixels; drawn in overlay pixels it covers the overlay exactly.
    m_fullShot.setDevicePixelRatio(m_ratio);
    qDebug() << "======= [Screen] " << m_fullShot.size();
    m_overlayHeight = int(m_fullShot.height() / m_ratio);
    m_overlayWidth = int(m_fullShot.width() / m_ratio);

    setSelection(startSelection(initial, desktop, m_ratio, defaultSelection()));

    connect(m_menu, &RectSelectMenu::sig_ok, this, &Selector::slot_ok, Qt::UniqueConnection);
    connect(m_menu, &RectSelectMenu::sig_cancel, this, &Selector::slot_cancel, Qt::UniqueConnection);
    connect(m_menu, &RectSelectMenu::sig_size, this, &Selector::slot_size, Qt::UniqueConnection);
    setFocus(Qt::OtherFocusReason);
}

void Selector::showSelector()
{
    // Qt places windows in logical pixels: the virtual desktop divided by the ratio.
    const QRect desktop = ScreenGrabber::virtualDesktop();
    setGeometry(
        QRect(int(desktop.x() / m_ratio), int(desktop.y() / m_ratio), m_overlayWidth, m_overlayHeight));
    show();
}

void Selector::setSelection(const QRectF& selection)
{
    m_selection = selection;
    m_handles = handles(m_selection);
    placeMenu();
}

void Selector::placeMenu()
{
    if (g_menuHeight < 0)
        g_menuHeight = m_menu->height();
    m_menu->move(menuPosition(m_selection, QSize(m_menu->width(), g_menuHeight), m_overlayHeight));
    m_menu->setSelectionSize(QSize(int(m_selection.width()), int(m_selection.height())));
    setFocus(Qt::OtherFocusReason);
}

void Selector::slot_ok()
{
    hide();
    emit sg_ok(physicalArea(m_selection, m_ratio, ScreenGrabber::virtualDesktop()));
}

void Selector::slot_cancel()
{
    hide();
    emit sg_cancel();
}

void Selector::slot_size(int width, int height)
{
    m_selection = resized(m_selection, width, height, overlaySize());
    placeMenu();
    m_handles = handles(m_selection);
    update();
}

void Selector::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        emit sg_cancel();
    }
}

void Selector::mousePressEvent(QMouseEvent* event) { m_lastPos = event->localPos(); }

void Selector::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->localPos();
    if (!(event->buttons() & Qt::LeftButton)) {
        m_direction = hitTest(m_selection, pos);
        setCursor(cursorFor(m_direction));
        return;
    }
    const QRectF bounds(0, 0, m_overlayWidth, m_overlayHeight);
    m_selection = limited(dragStep(m_selection, m_direction, pos - m_lastPos), bounds);
    m_handles = handles(m_selection);
    m_lastPos = pos;
    // The whole overlay, at every ratio: the information box and the tool bar move along with the selection.
    update();
    placeMenu();
}

void Selector::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    update();
}

void Selector::mouseDoubleClickEvent(QMouseEvent*) { slot_ok(); }

void Selector::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QBrush(Qt::blue), 2.0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
    painter.drawPixmap(0, 0, m_fullShot);
    painter.fillRect(0, 0, m_overlayWidth, m_overlayHeight, kDimming);
    painter.drawRect(m_selection);

    const QRectF source = physicalSource(m_selection, m_ratio);
    // An empty rectangle would copy the whole picture.
    if (!source.toRect().isEmpty()) {
        m_areaShot = m_fullShot.copy(source.toRect());
        m_areaShot.setDevicePixelRatio(m_ratio);
        painter.drawPixmap(m_selection.topLeft(), m_areaShot);
    }

    const QBrush previous = painter.brush();
    painter.setBrush(QBrush(Qt::blue));
    for (const QRectF& handle : m_handles)
        painter.drawRect(handle);
    painter.setBrush(previous);

    const QRect box = infoBox(m_selection, QssManager::dpiScale(), m_overlayWidth);
    painter.fillRect(box, kInfoFill);
    painter.setFont(QFont(QStringLiteral("微软雅黑"), 12));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, infoText(source, tr(kInfoPattern)));
}
