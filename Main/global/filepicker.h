#pragma once

#include <QString>

#include <functional>

class QWidget;

// Asks the user for one existing file: the platform's open-file dialog. Tests replace the picker; an empty
// picker restores the dialog. The answer is the chosen file's full path, empty when the user cancelled.
// GUI thread only.
using FilePicker = std::function<QString(
    QWidget* parent, const QString& caption, const QString& startDir, const QString& filter)>;
void setFilePicker(FilePicker picker);

QString pickOpenFile(QWidget* parent, const QString& caption, const QString& startDir, const QString& filter);
