#pragma once

#include <QHash>
#include <QObject>

class BasicFramelessHelper;
class QWindow;

// The one router of window events to the plug-in's frameless helpers, keyed by window. It filters the mouse
// events of each registered QWindow (which stand in for the native hit-test and sizing messages) and hands
// them to that window's helper. The first helper of a window wins; an entry goes when its window is
// destroyed or its helper unregisters. Created on first use and kept until the process ends. GUI thread.
class NativeEventFilter : public QObject {
    Q_OBJECT
public:
    // A null helper removes the window's entry; a null window does nothing.
    static void setHelper(QWindow* window, BasicFramelessHelper* helper);
    static BasicFramelessHelper* helper(QWindow* window);
    // Removes every entry of the helper.
    static void forgetHelper(BasicFramelessHelper* helper);
    static int entryCount();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NativeEventFilter() = default;
    static NativeEventFilter* instance();

    QHash<QWindow*, BasicFramelessHelper*> m_entries;
};
