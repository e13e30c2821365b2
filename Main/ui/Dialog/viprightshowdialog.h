#pragma once

#include <QDialog>

// The membership-rights dialog: exec() gives 1 when "pushButton_pay_now" is pressed and 0 when it is
// closed with "pushButton_close".
class VIPRightShowDialog : public QDialog {
    Q_OBJECT
public:
    explicit VIPRightShowDialog(QWidget* parent = nullptr);
};
