#include "global/processlauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <csignal>
#include <sys/types.h>

namespace {

ProcessLauncher& installedLauncher()
{
    static ProcessLauncher launcher;
    return launcher;
}

QSet<qint64>& launchedIds()
{
    static QSet<qint64> ids;
    return ids;
}

} // namespace

void setProcessLauncher(ProcessLauncher launcher) { installedLauncher() = std::move(launcher); }

bool hasProcessLauncher() { return bool(installedLauncher()); }

QString findHelperProgram(const QString& name)
{
    if (name.isEmpty() || name.contains('/'))
        return QString();
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable())
        return beside;
    return QStandardPaths::findExecutable(name);
}

bool launchHelperProgram(const QString& name, const QStringList& args, qint64* pid)
{
    qint64 started = 0;
    bool ok = false;
    if (installedLauncher()) {
        ok = installedLauncher()(name, args, &started);
    } else {
        const QString path = findHelperProgram(name);
        if (path.isEmpty())
            return false;
        ok = QProcess::startDetached(path, args, QString(), &started);
    }
    if (!ok)
        return false;
    if (started > 0)
        launchedIds().insert(started);
    if (pid)
        *pid = started;
    return true;
}

bool endLaunchedProcess(qint64 pid)
{
    if (pid <= 0 || !launchedIds().contains(pid))
        return false;
    launchedIds().remove(pid);
    if (installedLauncher())
        return true;
    return ::kill(pid_t(pid), SIGTERM) == 0;
}
