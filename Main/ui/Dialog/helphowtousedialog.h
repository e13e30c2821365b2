#pragma once

#include <QDialog>

// The help dialog, run modally by the main window's help button. Its pages come with the dialogs.
class HelpHowToUseDialog : public QDialog {
    Q_OBJECT
public:
    explicit HelpHowToUseDialog(QWidget* parent = nullptr);
};
