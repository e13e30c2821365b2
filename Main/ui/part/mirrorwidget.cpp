#include "ui/part/mirrorwidget.h"

#include "ui_mirrorwidget.h"

#include "global/menurunner.h"
#include "win/framelesshelper.h"
#include "win/qssmanager.h"

#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>

#include <cmath>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/mirrorwidget.css";
constexpr int kMinimumSide = 160;
// The resize band along each border, in pixels from the edge (0 to 3), not scaled by the DPI factor.
constexpr int kEdgeBand = 3;
constexpr int kCloseMargin = 5;

} // namespace

QSize mirrorMinimumSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QSize(kMinimumSide, kMinimumSide);
    return QSize(kMinimumSide, static_cast<int>(std::trunc(double(kMinimumSide) * height / width)));
}

MirrorWidget::MirrorWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MirrorWidget>())
{
    const double scale = QssManager::dpiScale();
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::FramelessWindowHint) & ~Qt::WindowMinMaxButtonsHint);
    setContextMenuPolicy(Qt::CustomContextMenu);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    new FramelessHelper(this, this);
    // Set here and not in the style sheet: a style sheet's minimum would override the one the owner sets
    // for its picture's aspect each time the window is polished.
    const int side = static_cast<int>(scale * kMinimumSide);
    setMinimumSize(side, side);
    connect(this, &QWidget::customContextMenuRequested, this, &MirrorWidget::showContextMenu);
    ui->pushButton_mirror_close->hide();
    installEventFilter(this);
}

MirrorWidget::~MirrorWidget() = default;

void MirrorWidget::initializeSource(const char* sourceId) { ui->widget_show->InitializeSource(sourceId); }

void MirrorWidget::finalizeSource() { ui->widget_show->FinalizeSource(); }

void MirrorWidget::showContextMenu()
{
    QMenu menu(this);
    QAction* pin = menu.addAction(m_pinned ? tr("取消置顶") : tr("窗口置顶"));
    if (runMenu(menu, QCursor::pos()) == pin)
        setPinned(!m_pinned);
}

void MirrorWidget::setPinned(bool pinned)
{
    m_pinned = pinned;
    // Changing a window flag hides a visible window; it is shown again at once, in the same place.
    setWindowFlag(Qt::WindowStaysOnTopHint, pinned);
    show();
}

bool MirrorWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this) {
        if (event->type() == QEvent::Enter) {
            ui->pushButton_mirror_close->show();
            return true;
        }
        if (event->type() == QEvent::Leave) {
            ui->pushButton_mirror_close->hide();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MirrorWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    const double scale = QssManager::dpiScale();
    const int x = static_cast<int>(ui->widget_show->width() - ui->pushButton_mirror_close->width() - scale * kCloseMargin);
    const int y = static_cast<int>(scale * kCloseMargin);
    if (ui->pushButton_mirror_close->pos() != QPoint(x, y))
        ui->pushButton_mirror_close->move(x, y);
}

void MirrorWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragStart = event->globalPos();
        m_windowStart = frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void MirrorWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        move(m_windowStart + (event->globalPos() - m_dragStart));
    QWidget::mouseMoveEvent(event);
}

void MirrorWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void MirrorWidget::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

void MirrorWidget::on_pushButton_mirror_close_clicked() { close(); }

bool MirrorWidget::isOnTopEdge(QPoint point) { return mapFromGlobal(point).y() <= kEdgeBand; }

bool MirrorWidget::isOnBottomEdge(QPoint point) { return height() - mapFromGlobal(point).y() <= kEdgeBand; }

bool MirrorWidget::isOnLeftEdge(QPoint point) { return mapFromGlobal(point).x() <= kEdgeBand; }

bool MirrorWidget::isOnRightEdge(QPoint point) { return width() - mapFromGlobal(point).x() <= kEdgeBand; }

bool MirrorWidget::isOnCaption(QPoint) { return false; }

void MirrorWidget::onSizing(int, long*, long*, long*, long*) { }
