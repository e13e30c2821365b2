// Preloaded (LD_PRELOAD) into a Qt widgets program started by startup_exec. Prints one line to standard
// error,
//   startup-probe: loaded=<ms> app=<ms> painted=<ms> idle=<ms> cpu=<ms> rss_kib=<n> libs=<n>
//   worker_wakeups_per_s=<n>
// milliseconds from the exec to: every library loaded and relocated (this library's constructor), the
// application object made, the first paint of the window (the first top-level widget painted whose class is
// TAVICAST_PROBE_WINDOW, or any), and the event loop's first wait after that paint. Then the program ends at
// once (_exit), unless TAVICAST_PROBE_RSS_MS is set: it then stays until that many milliseconds after the
// exec and reports its resident memory (rss_kib) before ending, and the wake-ups per second of the request
// worker (the thread "NetManager") over the last second (worker_wakeups_per_s; -1 when not measured). libs:
// the shared libraries mapped at the end. cpu: the processor time of the whole process (every thread) up to the
// idle point, which other work on a busy machine stretches far less than the times from the exec.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

long long nowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long t0 = 0;
double loadedMs = -1, appMs = -1, paintedMs = -1, idleMs = -1, cpuMs = -1;

double processCpuMs()
{
    timespec used {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return used.tv_sec * 1e3 + used.tv_nsec / 1e6;
}

double sinceExec() { return (nowNs() - t0) / 1e6; }

long residentKib()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Shared libraries mapped now.
int libraryCount()
{
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    QSet<QByteArray> libraries;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash >= 0 && line.contains(".so"))
            libraries.insert(line.mid(slash));
    }
    return libraries.size();
}

// Voluntary context switches (wake-ups after a wait) of the program's thread named "NetManager", -1 without
// one.
long long workerWakeUps()
{
    QDir tasks("/proc/self/task");
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "NetManager")
            continue;
        QFile status(tasks.filePath(tid + "/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                return line.mid(24).trimmed().toLongLong();
        }
    }
    return -1;
}

long long wakeUpsAtIdle = -1;
double wakeUpsFromMs = 0;

void report(long rss)
{
    double wakeUpsPerSecond = -1;
    const long long wakeUps = workerWakeUps();
    const double spanMs = sinceExec() - wakeUpsFromMs;
    if (rss >= 0 && wakeUpsAtIdle >= 0 && wakeUps >= 0 && spanMs > 0)
        wakeUpsPerSecond = (wakeUps - wakeUpsAtIdle) * 1000.0 / spanMs;
    std::fprintf(stderr,
        "startup-probe: loaded=%.2f app=%.2f painted=%.2f idle=%.2f cpu=%.2f rss_kib=%ld libs=%d "
        "worker_wakeups_per_s=%.1f\n",
        loadedMs, appMs, paintedMs, idleMs, cpuMs, rss, libraryCount(), wakeUpsPerSecond);
    std::fflush(stderr);
    _exit(0);
}

void onIdle()
{
    idleMs = sinceExec();
    cpuMs = processCpuMs();
    const char* rssAt = std::getenv("TAVICAST_PROBE_RSS_MS");
    if (!rssAt || !*rssAt) {
        report(-1);
        return;
    }
    // The request worker's wake-ups are counted over the second before the report (it may still be busy with
    // the start's requests before that).
    const double at = std::atof(rssAt);
    QTimer::singleShot(std::max(0, int(at - 1000 - sinceExec())), [] {
        wakeUpsFromMs = sinceExec();
        wakeUpsAtIdle = workerWakeUps();
    });
    QTimer::singleShot(std::max(0, int(at - sinceExec())), [] { report(residentKib()); });
}

class PaintWatch : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintedMs < 0 && object->isWidgetType()
            && static_cast<QWidget*>(object)->isWindow() && wanted(object)) {
            paintedMs = sinceExec();
            // The first wait of the event loop after this paint.
            QObject::connect(
                QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                [this] {
                    if (idleMs >= 0)
                        return;
                    onIdle();
                },
                Qt::DirectConnection);
        }
        return false;
    }

private:
    static bool wanted(QObject* object)
    {
        const QByteArray name = qgetenv("TAVICAST_PROBE_WINDOW");
        return name.isEmpty() || object->inherits(name.constData());
    }
};

void onApplication()
{
    appMs = sinceExec();
    qApp->installEventFilter(new PaintWatch);
}

__attribute__((constructor)) void onLoaded()
{
    const char* start = std::getenv("TAVICAST_PROBE_T0");
    t0 = start ? std::atoll(start) : nowNs();
    loadedMs = sinceExec();
    // Programs this one starts are not measured.
    unsetenv("LD_PRELOAD");
    qAddPreRoutine(onApplication);
}

} // namespace
