#pragma once

#include <QDialog>

class QCheckBox;

// Tells the user that the share link was copied; isNotRemind() says whether the check box
// "checkBox_not_reminder" was ticked.
class CopyShareTipsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CopyShareTipsDialog(QWidget* parent = nullptr);

    bool isNotRemind() const;

private:
    QCheckBox* m_notRemind;
};
