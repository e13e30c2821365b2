#pragma once

#include <QDialog>

// The login dialog: created once by the main window without a parent and kept for the life of the
// process. Its sign-in pages come with the dialogs; sig_RefreshVIP is emitted after a login reply has
// been stored in the run-time data store. GUI thread only.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(QWidget* parent = nullptr);

signals:
    void sig_RefreshVIP();
};
