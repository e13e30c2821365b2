#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Starts the outside helper programs of a meeting (the floating control program, the whiteboard) and ends
// them again. A helper is looked up next to the program first, then on PATH. Only processes started here
// can be ended here, by their id. Tests replace the launcher to record the start (or make it fail).
// GUI thread only.
using ProcessLauncher = std::function<bool(const QString& program, const QStringList& args, qint64* pid)>;

// An empty launcher restores the real one (a detached start).
void setProcessLauncher(ProcessLauncher launcher);
bool hasProcessLauncher();

// The full path of the helper `name`: beside the running program, else found on PATH; empty when neither.
QString findHelperProgram(const QString& name);

// Starts the helper `name` with `args`. False (and nothing started) when the helper is missing or the start
// fails. `pid`, when given, receives the new process's id.
bool launchHelperProgram(const QString& name, const QStringList& args, qint64* pid = nullptr);

// Asks a process started by launchHelperProgram to end (SIGTERM). False for any other id.
bool endLaunchedProcess(qint64 pid);
