#pragma once

#include "win/resizeinterface.h"

#include <QPoint>
#include <QSize>
#include <QWidget>

#include <memory>

namespace Ui {
class MirrorWidget;
}

// The smallest size of a mirror showing a picture of `width` × `height`: 160 wide, the height keeping the
// picture's aspect (truncated); 160 × 160 when either side is not above 0 (no picture yet).
QSize mirrorMinimumSize(int width, int height);

// A frameless floating window showing one studio source on the desktop. Resized from its 4-pixel borders,
// moved by a left-button drag anywhere inside, pinned above other windows through its context menu. Made
// without parent by whoever mirrors a source and owned by it; closing only hides the window and emits
// closed(). GUI thread only.
class MirrorWidget : public QWidget, public ResizeInterface {
    Q_OBJECT
public:
    explicit MirrorWidget(QWidget* parent = nullptr);
    ~MirrorWidget() override;

    void initializeSource(const char* sourceId);
    void finalizeSource();

    bool isPinned() const { return m_pinned; }

    bool isOnTopEdge(QPoint point) override;
    bool isOnBottomEdge(QPoint point) override;
    bool isOnLeftEdge(QPoint point) override;
    bool isOnRightEdge(QPoint point) override;
    bool isOnCaption(QPoint point) override;
    void onSizing(int edgeFlags, long* top, long* bottom, long* left, long* right) override;

signals:
    void closed();

private slots:
    void on_pushButton_mirror_close_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showContextMenu();
    void setPinned(bool pinned);

    std::unique_ptr<Ui::MirrorWidget> ui;
    bool m_pinned = false;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_windowStart;
};
