#pragma once

#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <array>

class RectSelectMenu;

// A frameless, top-most overlay over the whole virtual desktop that shows a picture taken by start() and
// lets the user draw, move and resize one rectangle on it. A double click or the tool bar's OK reports the
// rectangle in physical desktop pixels by sg_ok(); Esc or Cancel report sg_cancel(). Either hides the
// overlay; its owner deletes it. The tool bar is a child of the overlay. GUI thread only.
class Selector : public QWidget {
    Q_OBJECT
public:
    explicit Selector(QWidget* parent = nullptr);
    ~Selector() override;

    // `initial`: the previous area in physical desktop pixels, or a null rectangle when there is none.
    void start(const QRectF& initial);
    void showSelector();

    QRectF selection() const { return m_selection; }
    QSize overlaySize() const { return QSize(m_overlayWidth, m_overlayHeight); }
    qreal ratio() const { return m_ratio; }
    RectSelectMenu* menu() const { return m_menu; }

signals:
    void sg_ok(QRect rect);
    void sg_cancel();
    // Never sent by the selector itself; listeners may connect to it.
    void sg_save(bool save);

public slots:
    void slot_ok();
    void slot_cancel();
    void slot_size(int width, int height);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setSelection(const QRectF& selection);
    void placeMenu();

    QPixmap m_fullShot;
    QPixmap m_areaShot;
    int m_overlayWidth = 0;
    int m_overlayHeight = 0;
    RectSelectMenu* m_menu = nullptr;
    QRectF m_selection;
    std::array<QRectF, 8> m_handles;
    int m_direction = 17;
    QPointF m_lastPos;
    qreal m_ratio = 1.0;
};
