#pragma once

#include <QWidget>

class QPushButton;

// The first-use hint bubble under the help button. Its close button "pushButton_ftip_close" emits
// sig_firstClose. GUI thread only.
class FirstTooltipsForm : public QWidget {
    Q_OBJECT
public:
    explicit FirstTooltipsForm(QWidget* parent = nullptr);

signals:
    void sig_firstClose();
};
