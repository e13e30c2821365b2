#pragma once

#include <QPushButton>

#include <memory>

class QLabel;

namespace Ui {
class MeetingCtrlButton;
}

// A push button of the meeting's control bar drawn as two stacked labels: an icon on top (a border image
// set through the label's style) and a caption below. Owned by its Qt parent. GUI thread only.
class MeetingCtrlButton : public QPushButton {
    Q_OBJECT
public:
    explicit MeetingCtrlButton(QWidget* parent = nullptr);
    ~MeetingCtrlButton() override;

    QLabel* topLabel() const;
    QLabel* bottomLabel() const;
    void setTopText(const QString& text);
    void setBottomText(const QString& text);

private:
    std::unique_ptr<Ui::MeetingCtrlButton> ui;
};
