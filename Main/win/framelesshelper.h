#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QMouseEvent;
class QWindow;
class QWidget;
class ResizeInterface;

// Hit-test answers and resize-edge codes of frameless windows. The numbers are those the window code has
// always used, so implementers and tests can keep speaking in them.
namespace frameless {

enum HitCode {
    HTCLIENT = 1,
    HTCAPTION = 2,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
};

// The edge being dragged while a window is resized.
enum SizingEdge {
    WMSZ_LEFT = 1,
    WMSZ_RIGHT = 2,
    WMSZ_TOP = 3,
    WMSZ_TOPLEFT = 4,
    WMSZ_TOPRIGHT = 5,
    WMSZ_BOTTOM = 6,
    WMSZ_BOTTOMLEFT = 7,
    WMSZ_BOTTOMRIGHT = 8,
};

// ResizeInterface::EdgeFlags of a sizing edge; 0 for anything else.
int sizingEdgeFlags(int sizingEdge);
// The sizing edge that a press on a resize hit code drags; 0 for non-edge codes.
int sizingEdgeForHit(int hitCode);
Qt::Edges qtEdges(int edgeFlags);
// The cursor shown over a resize hit code; Qt::ArrowCursor elsewhere.
Qt::CursorShape cursorForHit(int hitCode);
// `start` with the flagged edges moved by `delta`, kept within the size limits; the opposite edges stay.
QRect resizedRect(const QRect& start, int edgeFlags, QPoint delta, QSize minimum, QSize maximum);

} // namespace frameless

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
    enum class Drag { None, Move, Resize };

    bool mousePress(const QMouseEvent& event);
    bool mouseMove(const QMouseEvent& event);
    void updateCursor(int hitCode);
    bool isOnButton(QPoint global) const;

    QPointer<QWindow> m_window;
    QWidget* m_widget;
    ResizeInterface* m_resize;

    Drag m_drag = Drag::None;
    int m_dragEdge = 0;
    QPoint m_pressGlobal;
    QPoint m_startPos;
    QRect m_startGeometry;
    bool m_cursorSet = false;
};
