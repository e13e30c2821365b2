#pragma once

#include <QColor>
#include <QWidget>

#include <memory>

namespace Ui {
class FirstTooltipsForm;
}

// The first-use bubble under the main window's help button: a translucent tool window that paints a white
// body with an arrow on its top edge (at arrowPosition of the width) and a grey outline. Its window mask
// follows body and arrow, so the corners stay clear even without a compositing manager. The "我知道了"
// button only emits sig_firstClose; the owner closes the bubble. GUI thread only.
class FirstTooltipsForm : public QWidget {
    Q_OBJECT
public:
    explicit FirstTooltipsForm(QWidget* parent = nullptr);
    ~FirstTooltipsForm() override;

    void setTipText(const QString& text, QColor colour);

signals:
    void sig_firstClose();

private slots:
    void on_pushButton_ftip_close_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::FirstTooltipsForm> ui;
    QColor backgroundColor { 255, 255, 255, 255 };
    double arrowPosition = 0.5;
};
