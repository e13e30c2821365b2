#pragma once

#include <QDialog>

class FramelessWidgetHelper;
class QLabel;

// The plug-in's modal message: a centred text with OK (kind 2) or OK and Cancel (kind 1), in the frameless
// frame. `sig_select` tells which choice closed it: 1 for OK, 0 for anything else (Cancel, the title bar's
// close button, Escape), exactly once per dismissal. GUI thread.
class MessageForm : public QDialog {
    Q_OBJECT
public:
    explicit MessageForm(int buttonKind, QWidget* parent = nullptr);
    ~MessageForm() override;

    void setText(const QString& text);
    QString text() const;
    int buttonKind() const { return m_buttonKind; }

    // Every way out of the dialog passes here; the choice is announced once.
    void done(int r) override;

signals:
    void sig_select(int result);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void announce();

    int m_buttonKind;
    FramelessWidgetHelper* m_helper = nullptr;
    QLabel* m_label = nullptr;
    int m_result = 0;
    bool m_announced = false;
};
