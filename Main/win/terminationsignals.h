#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (the session asking the program to end) into a call on the GUI thread,
// so that the program ends through its normal tear-down. The handler only writes one byte to a socket
// pair; the call is made from the event loop. One object per process; GUI thread only.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Holds the signals back (pending, not lost) until an object of this class is installed; called first
    // in main, before any thread starts, so that a request to end during start-up still ends the program
    // through its tear-down. The object holds them back again when it goes, for the tear-down itself.
    static void holdBack();

    bool isInstalled() const { return m_notifier != nullptr; }

private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
