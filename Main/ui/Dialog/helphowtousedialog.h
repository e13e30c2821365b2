#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class HelpHowToUseDialog;
}

// The help window: how to start and how to watch a live meeting, and a link to the operator's website.
// Run modally by the main window's help button. A link that no browser opens is shown for copying.
// GUI thread only.
class HelpHowToUseDialog : public QDialog {
    Q_OBJECT
public:
    explicit HelpHowToUseDialog(QWidget* parent = nullptr);
    ~HelpHowToUseDialog() override;

public slots:
    void on_pushButton_close_clicked();
    void slot_close();
    void slot_openUrl(const QString& url);

private:
    std::unique_ptr<Ui::HelpHowToUseDialog> ui;
};
