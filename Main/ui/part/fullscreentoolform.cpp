#include "ui/part/fullscreentoolform.h"

#include "ui_fullscreentoolform.h"

#include "global/meetingtimings.h"
#include "win/qssmanager.h"

#include <QTimerEvent>

FullScreenToolForm::FullScreenToolForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FullScreenToolForm>())
{
    ui->setupUi(this);
    setWindowTitle(tr("Tavicast"));
    (new QssManager(this, false))->loadStyleSheet(QStringLiteral(":/qss/part/viewerfullscreenshowform.css"));
    ui->frame_bottom_bg->hide();
    setAttribute(Qt::WA_MouseTracking);
    // The bar starts hidden; this first timer finds it hidden already.
    hideTimerId = startTimer(meetingTimings().fullScreenBarHideMs, Qt::CoarseTimer);
}

FullScreenToolForm::~FullScreenToolForm() = default;

void FullScreenToolForm::on_pushButton_minimum_clicked() { emit sig_showNormalWindow(); }

void FullScreenToolForm::restartHideTimer()
{
    if (hideTimerId != 0)
        killTimer(hideTimerId);
    hideTimerId = startTimer(meetingTimings().fullScreenBarHideMs, Qt::CoarseTimer);
}

void FullScreenToolForm::mouseMoveEvent(QMouseEvent* event)
{
    restartHideTimer();
    ui->frame_bottom_bg->show();
    QWidget::mouseMoveEvent(event);
}

void FullScreenToolForm::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != hideTimerId || hideTimerId == 0)
        return;
    ui->frame_bottom_bg->hide();
    killTimer(hideTimerId);
    hideTimerId = 0;
}
