#include "ui/part/meetingctrlbutton.h"

#include "ui_meetingctrlbutton.h"

#include <QGridLayout>

MeetingCtrlButton::MeetingCtrlButton(QWidget* parent)
    : QPushButton(parent)
    , ui(std::make_unique<Ui::MeetingCtrlButton>())
{
    // The form is laid out over the button itself, so the labels take the clicks' place visually while
    // the button keeps receiving them.
    ui->setupUi(static_cast<QWidget*>(this));
    ui->label_mcb_top->setStyleSheet(QStringLiteral("background-color: transparent"));
    ui->label_mcb_bottom->setStyleSheet(QStringLiteral("background-color: transparent"));
    ui->label_mcb_top->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->label_mcb_bottom->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->frame_mcb_background->setAttribute(Qt::WA_TransparentForMouseEvents);
}

MeetingCtrlButton::~MeetingCtrlButton() = default;

QLabel* MeetingCtrlButton::topLabel() const { return ui->label_mcb_top; }

QLabel* MeetingCtrlButton::bottomLabel() const { return ui->label_mcb_bottom; }

void MeetingCtrlButton::setTopText(const QString& text) { ui->label_mcb_top->setText(text); }

void MeetingCtrlButton::setBottomText(const QString& text) { ui->label_mcb_bottom->setText(text); }
