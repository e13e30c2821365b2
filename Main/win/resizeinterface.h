#pragma once

#include <QPoint>

// What a frameless window tells its FramelessHelper: whether a point (global screen coordinates) lies on
// one of its resize edges or in its caption, and a last say on a rectangle being resized.
// Implemented by the frameless windows themselves; called on the GUI thread only.
class ResizeInterface {
public:
    // Edge flags handed to onSizing; a corner is the sum of its two edges.
    enum EdgeFlags {
        TopEdge = 1,
        BottomEdge = 2,
        LeftEdge = 4,
        RightEdge = 8,
    };

    virtual ~ResizeInterface() = default;

    virtual bool isOnTopEdge(QPoint point) = 0;
    virtual bool isOnBottomEdge(QPoint point) = 0;
    virtual bool isOnLeftEdge(QPoint point) = 0;
    virtual bool isOnRightEdge(QPoint point) = 0;
    virtual bool isOnCaption(QPoint point) = 0;
    // May change the proposed rectangle in place (right and bottom are exclusive).
    virtual void onSizing(int edgeFlags, long* top, long* bottom, long* left, long* right) = 0;
};
