#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class MessageBoxDialog;
}

// The program's modal message box: a frameless dialog with a title bar, a centred message and up to two
// buttons. `buttons`: 0 none, 1 OK, 2 Cancel, 3 both. exec() returns 1 for OK, 0 for Cancel or close.
// Created on the caller's stack and destroyed after exec() returns. GUI thread only.
class MessageBoxDialog : public QDialog {
    Q_OBJECT
public:
    MessageBoxDialog(const QString& text, int buttons, const QString& title, QWidget* parent = nullptr);
    ~MessageBoxDialog() override;

    // Each text replaces its button's only when it is not empty.
    void setButtonTexts(const QString& okText, const QString& cancelText);

private slots:
    void on_pushButton_messagebox_ok_clicked();
    void on_pushButton_messagebox_cancel_clicked();
    void on_pushButton_messagebox_close_clicked();

private:
    void showButtons(int buttons);
    void setHeaderProperties();

    std::unique_ptr<Ui::MessageBoxDialog> ui;
};
