#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CopyShareTipsDialog;
}

// The note shown after the share link went to the clipboard, with a "不再提示" check box. The main window
// runs it modally and reads isNotRemind() afterwards, whatever the result (Escape rejects). GUI thread only.
class CopyShareTipsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CopyShareTipsDialog(QWidget* parent = nullptr);
    ~CopyShareTipsDialog() override;

    bool isNotRemind() const;

private slots:
    void on_pushButton_ok_clicked();

private:
    std::unique_ptr<Ui::CopyShareTipsDialog> ui;
};
