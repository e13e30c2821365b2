#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>

#include <functional>

class QEvent;
class QMouseEvent;
class QWidget;

// Hit-test answers and resize-edge codes of frameless windows. The numbers are those the window code has
// always used, so implementers and tests can keep speaking in them.
namespace frameless {

enum HitCode {
    HTTRANSPARENT = -1,
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

// Edge flags of a sizing edge; a corner is the sum of its two edges.
enum EdgeFlag {
    TopEdge = 1,
    BottomEdge = 2,
    LeftEdge = 4,
    RightEdge = 8,
};

// The edge flags of a sizing edge; 0 for anything else.
int sizingEdgeFlags(int sizingEdge);
// The sizing edge that a press on a resize hit code drags; 0 for non-edge codes.
int sizingEdgeForHit(int hitCode);
Qt::Edges qtEdges(int edgeFlags);
// The cursor shown over a resize hit code; Qt::ArrowCursor elsewhere.
Qt::CursorShape cursorForHit(int hitCode);
// `start` with the flagged edges moved by `delta`, kept within the size limits; the opposite edges stay.
QRect resizedRect(const QRect& start, int edgeFlags, QPoint delta, QSize minimum, QSize maximum);

// Moves and resizes one frameless top-level widget from the mouse events of its window: a left press on a
// resize code or the caption starts the window system's resize or move, and where the window system offers
// neither (offscreen, no window manager) the driver moves or resizes the widget itself until the release.
// The cursor follows the resize code under a hovering mouse. GUI thread only; the widget is not owned.
class WindowDriver {
public:
    struct Hooks {
        // The hit code of a point in global coordinates. Required.
        std::function<int(QPoint global)> hitTest;
        // A caption press over such a point is left to the widget (a button in the title band).
        std::function<bool(QPoint global)> isOnButton;
        // A last say on each rectangle of a resize by hand.
        std::function<void(int sizingEdge, QRect* rect)> sizing;
        // Each step of a resize (once when the window system takes it over), and its end.
        std::function<void()> resizeStep;
        std::function<void()> resizeEnd;
        // A double click on the caption toggles between maximised and normal.
        bool doubleClickMaximizes = false;
    };

    WindowDriver(QWidget* widget, Hooks hooks);

    // One event of the widget's window; true when it was consumed by a move or resize.
    bool windowEvent(QEvent* event);

private:
    enum class Drag { None, Move, Resize, SystemResize };

    bool mousePress(const QMouseEvent& event);
    bool mouseMove(const QMouseEvent& event);
    bool mouseRelease(const QMouseEvent& event);
    bool doubleClick(const QMouseEvent& event);
    void updateCursor(int hitCode);
    void endSystemResize();

    QPointer<QWidget> m_widget;
    Hooks m_hooks;
    Drag m_drag = Drag::None;
    int m_dragEdge = 0;
    QPoint m_pressGlobal;
    QPoint m_startPos;
    QRect m_startGeometry;
    bool m_cursorSet = false;
};

} // namespace frameless
