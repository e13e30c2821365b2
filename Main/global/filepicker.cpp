#include "global/filepicker.h"

#include <QFileDialog>

namespace {

FilePicker& currentPicker()
{
    static FilePicker picker;
    return picker;
}

} // namespace

void setFilePicker(FilePicker picker) { currentPicker() = std::move(picker); }

QString pickOpenFile(QWidget* parent, const QString& caption, const QString& startDir, const QString& filter)
{
    const FilePicker& picker = currentPicker();
    if (picker)
        return picker(parent, caption, startDir, filter);
    return QFileDialog::getOpenFileName(parent, caption, startDir, filter);
}
