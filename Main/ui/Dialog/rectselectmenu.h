#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class RectSelectMenu;
}

// The tool bar that rides along the selector's rectangle: exact width and height, preset sizes that fit the
// virtual desktop (read at construction), OK and Cancel. A child of the selector, which it reports to by
// signals only. GUI thread only.
class RectSelectMenu : public QWidget {
    Q_OBJECT
public:
    explicit RectSelectMenu(QWidget* parent = nullptr);
    ~RectSelectMenu() override;

    void setSelectionSize(const QSize& size);

signals:
    void sig_ok();
    void sig_cancel();
    void sig_size(int width, int height);

private slots:
    void on_toolButton_ok_clicked();
    void on_toolButton_cancel_clicked();
    void on_comboBox_size_currentIndexChanged(const QString& text);
    void onSpinBoxEditFinished();

private:
    std::unique_ptr<Ui::RectSelectMenu> ui;
};
