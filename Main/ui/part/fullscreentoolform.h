#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class FullScreenToolForm;
}

// Transparent overlay over the full-screen renderer. Its bottom bar, with the one button that leaves full
// screen, shows while the mouse moves over the overlay and hides a few seconds after the last movement.
// Owned by its Qt parent (the renderer). GUI thread only.
class FullScreenToolForm : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenToolForm(QWidget* parent = nullptr);
    ~FullScreenToolForm() override;

signals:
    void sig_showNormalWindow();

private slots:
    void on_pushButton_minimum_clicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void restartHideTimer();

    std::unique_ptr<Ui::FullScreenToolForm> ui;
    int hideTimerId = 0;
};
