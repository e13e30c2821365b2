#include "ui/Dialog/areaitem.h"

#include "ui/Dialog/selector.h"
#include "ui/Dialog/selectwidget.h"

#include <QDebug>
#include <QMessageBox>

namespace {

AreaItem::ModalRunner g_modalRunner;

int runModal(QDialog& dialog) { return g_modalRunner ? g_modalRunner(dialog) : dialog.exec(); }

} // namespace

AreaItem::AreaItem(QObject* parent)
    : QObject(parent)
{
}

AreaItem::~AreaItem() = default;

void AreaItem::setModalRunner(ModalRunner runner) { g_modalRunner = std::move(runner); }

void AreaItem::slot_delay_shot()
{
    if (m_selector) {
        disconnect(m_selector.get(), &Selector::sg_ok, this, &AreaItem::finishshot);
        disconnect(m_selector.get(), &Selector::sg_cancel, this, &AreaItem::quitshot);
        m_selector.reset();
    }
    m_selector = std::make_unique<Selector>(nullptr);
    connect(m_selector.get(), &Selector::sg_ok, this, &AreaItem::finishshot);
    connect(m_selector.get(), &Selector::sg_cancel, this, &AreaItem::quitshot);
    m_selector->start(QRectF(m_startArea));
    m_selector->showSelector();
    m_selector->activateWindow();
}

void AreaItem::finishshot(QRect rect)
{
    // Encoders want even sizes.
    const int w = rect.width() & ~1;
    const int h = rect.height() & ~1;
    qDebug() << "@1:  w:" << w << "  h:" << h;
    if (w >= kMinimumSide && h >= kMinimumSide) {
        accept(QRect(rect.x(), rect.y(), w, h));
        return;
    }
    qDebug() << rect << "w:" << w << "  h:" << h;
    showTooSmall(w, h);
    report(QRect());
}

void AreaItem::showTooSmall(int width, int height)
{
    QMessageBox box(QMessageBox::Information, tr("提示"),
        tr("录制区域宽或高不能小于 %1 个像素\n当前选区为: [%2x%3]\n请重新选择录制区域!")
            .arg(kMinimumSide)
            .arg(width)
            .arg(height));
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    runModal(box);
}

void AreaItem::quitshot() { report(QRect()); }

void AreaItem::slot_rect(QRect rect)
{
    if (m_listener)
        m_listener->onAreaSelected(rect);
}

void AreaItem::report(const QRect& rect)
{
    emit finish(rect);
    if (m_listener)
        m_listener->onAreaSelected(rect);
}

void AreaItem::accept(const QRect& area)
{
    report(area);
    if (m_frame) {
        disconnect(m_frame.get(), &SelectWidget::sg_rect, this, &AreaItem::slot_rect);
        m_frame.reset();
    }
    qDebug() << "select rect : " << area;
    m_frame = std::make_unique<SelectWidget>(nullptr, Qt::WindowFlags());
    connect(m_frame.get(), &SelectWidget::sg_rect, this, &AreaItem::slot_rect);
    m_frame->setRect(QRectF(area), m_frameInterval);
    m_frame->show();
}
