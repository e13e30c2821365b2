#pragma once

#include <framelessdrive/windowdriver.h>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>


class QWindow;

// Moving and resizing of one frameless top-level widget: hit-testing against resize margins and a title band,
// and the window's mouse events (routed by NativeEventFilter once the window is registered) turned into the
// window system's move and resize, or a move and resize by hand where it offers neither.
//
// The host widget is the QObject parent and owns the helper. Subclasses answer the caption test and register
// the window. GUI thread only; nothing is reported as a failure.
class BasicFramelessHelper : public QObject {
    Q_OBJECT
    Q_PROPERTY(int titleHeight READ titleHeight WRITE setTitleHeight NOTIFY titleHeightChanged)
    Q_PROPERTY(
        int leftResizeMargin READ leftResizeMargin WRITE setLeftResizeMargin NOTIFY leftResizeMarginChanged)
    Q_PROPERTY(
        int topResizeMargin READ topResizeMargin WRITE setTopResizeMargin NOTIFY topResizeMarginChanged)
    Q_PROPERTY(int rightResizeMargin READ rightResizeMargin WRITE setRightResizeMargin NOTIFY
            rightResizeMarginChanged)
    Q_PROPERTY(int bottomResizeMargin READ bottomResizeMargin WRITE setBottomResizeMargin NOTIFY
            bottomResizeMarginChanged)
    Q_PROPERTY(bool maximizable READ maximizable WRITE setMaximizable)
    Q_PROPERTY(bool minimable READ minimable WRITE setMinimable)
public:
    explicit BasicFramelessHelper(QObject* host);
    ~BasicFramelessHelper() override;

    int titleHeight() const { return m_titleHeight; }
    int leftResizeMargin() const { return m_leftResizeMargin; }
    int topResizeMargin() const { return m_topResizeMargin; }
    int rightResizeMargin() const { return m_rightResizeMargin; }
    int bottomResizeMargin() const { return m_bottomResizeMargin; }
    bool maximizable() const { return m_maximizable; }
    void setMaximizable(bool on) { m_maximizable = on; }
    bool minimable() const { return m_minimable; }
    void setMinimable(bool on) { m_minimable = on; }
    bool isResizable() const { return m_resizable; }

    Q_INVOKABLE void addTitleObjects(QObjectList objs);
    Q_INVOKABLE void addTitleObject(QObject* obj);
    QObjectList titleObjects() const { return m_titleObjects; }

    QWidget* host() const { return m_host; }

    // One mouse event of the registered window; true when it was consumed (the window does not see it).
    virtual bool handleWindowEvent(QEvent* event) = 0;
    // Whether a point of the title band (window coordinates) drags the window.
    virtual bool isCaptionPoint(int x, int y) = 0;

    // Called when the window is registered: the maximise and minimise hints follow the flags.
    void applyWindowHints(QWindow* window);

public slots:
    void setTitleHeight(int h);
    void setLeftResizeMargin(int m);
    void setTopResizeMargin(int m);
    void setRightResizeMargin(int m);
    void setBottomResizeMargin(int m);

signals:
    void titleHeightChanged(int);
    void leftResizeMarginChanged(int);
    void topResizeMarginChanged(int);
    void rightResizeMarginChanged(int);
    void bottomResizeMarginChanged(int);
    // Every step of a resize, and the end of it.
    void sigResizeBegin();
    void sigResizeEnd();

protected:
    // The hit code of a point relative to the window's top-left corner; -1 without host window.
    int hitTest(int x, int y);
    // The common handling of the window's mouse events: move, resize, cursor, double click on the caption.
    bool handleBasicEvent(QEvent* event);
    void setResizable(bool on) { m_resizable = on; }

private:
    bool setValue(int& field, int value);

    QPointer<QWidget> m_host;
    QObjectList m_titleObjects;
    int m_titleHeight = 0;
    int m_leftResizeMargin = 6;
    int m_topResizeMargin = 6;
    int m_rightResizeMargin = 6;
    int m_bottomResizeMargin = 6;
    bool m_resizable = false;
    bool m_maximizable = true;
    bool m_minimable = true;
    std::unique_ptr<frameless::WindowDriver> m_driver;
};
