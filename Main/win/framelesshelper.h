#pragma once

#include <framelessdrive/windowdriver.h>

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QWindow;
class QWidget;
class ResizeInterface;

// Gives a frameless widget back resizing from its edges and dragging by its caption.
// The helper is a Qt child of the widget; the interface is not owned and must outlive the helper (usually
// it is the widget itself). A widget that is not frameless at construction is never helped.
// Once the widget has a native window, NativeEventFilter routes that window's mouse events here: a press on
// an edge or the caption starts a system resize or move, and where the window system offers neither the
// helper moves or resizes the window itself. GUI thread only.
class FramelessHelper : public QObject {
    Q_OBJECT
public:
    FramelessHelper(QWidget* widget, ResizeInterface* resize);
    ~FramelessHelper() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // One mouse event of the helped window; true when it was consumed by a move or resize.
    bool windowEvent(QEvent* event);
    // The hit code for a point in screen coordinates.
    int hitTest(int x, int y) const;
    // Lets the interface adjust a rectangle proposed for `sizingEdge`; true when there is an interface.
    bool sizing(int sizingEdge, QRect* rect) const;

    QWindow* window() const;

private:
    bool isOnButton(QPoint global) const;

    QPointer<QWindow> m_window;
    QWidget* m_widget;
    ResizeInterface* m_resize;
    frameless::WindowDriver m_driver;
};
