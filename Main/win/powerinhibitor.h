#pragma once

#include <QMap>
#include <QString>

#include <functional>

// Keeps the display (and the system) awake while anyone holds a need. Holds are named and counted by
// name: the program holds "display" for its whole run and a live meeting adds its own hold, which the end
// of the meeting releases without touching the program's.
//
// On Linux the need is passed to the session's screen saver (org.freedesktop.ScreenSaver on the session
// bus) when there is one; without a session bus the holds are only counted. GUI thread only.
class PowerInhibitor {
public:
    enum Need { Display = 1, System = 2 };

    // Called with true when the first need appears and false when the last one goes.
    using Backend = std::function<void(bool inhibit)>;

    static PowerInhibitor& instance();
    explicit PowerInhibitor(Backend backend = {});
    ~PowerInhibitor();

    // Takes (or replaces) the hold named `holder`.
    void hold(const QString& holder, int needs);
    void release(const QString& holder);
    // The union of every hold's needs; 0 when nobody holds anything.
    int needs() const;
    bool isHeld(const QString& holder) const { return m_holds.contains(holder); }

private:
    void update();

    Backend m_backend;
    QMap<QString, int> m_holds;
    bool m_inhibiting = false;
};
