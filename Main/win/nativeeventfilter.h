#pragma once

#include <QHash>
#include <QObject>
#include <QWindow>

class FramelessHelper;

// The one router of window events to frameless helpers, keyed by native window id.
// On Linux it filters the Qt events of each registered QWindow, which stand in for the native hit-test and
// sizing messages. Created on first use and kept until the process ends. GUI thread only.
class NativeEventFilter : public QObject {
    Q_OBJECT
public:
    // A helper registers `window` (the first helper of a window wins); a null helper removes the entry.
    static void setHelper(QWindow* window, FramelessHelper* helper);
    static FramelessHelper* helper(QWindow* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QWindow* window;
        FramelessHelper* helper;
    };

    NativeEventFilter() = default;
    static NativeEventFilter* instance();
    void forget(WId key, QWindow* window);

    QHash<WId, Entry> m_entries;
};
