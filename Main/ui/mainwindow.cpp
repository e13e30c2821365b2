#include "ui/mainwindow.h"

#include "ui_mainwindow.h"

#include "app/zovmeetingapplication.h"
#include "global/appkeys.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/servicehosts.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "net/servicepaths.h"
#include "ui/Dialog/firsttooltipsform.h"
#include "ui/Dialog/helphowtousedialog.h"
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/messageboxdialog.h"
#include "win/framelesshelper.h"
#include "win/powerinhibitor.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMouseEvent>
#include <QTimer>

namespace {

constexpr char kStyleSheet[] = ":/qss/mainwindow.css";
constexpr char kWindowIcon[] = ":/image/ZovMeeting.png";
constexpr int kTipsDelayMs = 1000;
constexpr int kQuitDelayMs = 10;

const int kReceivedEvents[] = {
    UserEventType::CloseMeeting,
    UserEventType::Login,
    UserEventType::Pay,
    UserEventType::Unused1004,
    UserEventType::V3ReadyToCreateMeeting,
    UserEventType::V3ReadyToAddMeeting,
};

// The title-bar controls that never count as caption, in the order the caption test walks them.
const char* const kTitleControlNames[] = {
    "pushButton_main_close",
    "pushButton_main_max",
    "pushButton_main_min",
    "pushButton_title_pic",
    "pushButton_login",
    "label_title_pic",
    "pushButton_title_setting",
    "pushButton_title_help",
    "pushButton_copy_share",
    "pushButton_pay",
};

const char kMeetingShowStyle[] = "QWidget#widget_main_show{border-left: 1px solid #202020;"
                                 "border-right: 1px solid #202020;border-bottom: 1px solid #202020;}";
const char kReadyShowStyle[] = "QWidget#widget_main_show{border-left: 1px solid #E5E5E5;"
                               "border-right: 1px solid #E5E5E5;border-bottom: 1px solid #E5E5E5;}";

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(tr("Tavicast"));
    setWindowIcon(QIcon(QString::fromLatin1(kWindowIcon)));

    (new QssManager(this, true))->loadStyleSheet(QString::fromLatin1(kStyleSheet));

    for (const char* name : kTitleControlNames)
        titleControls.append(findChild<QWidget*>(QString::fromLatin1(name)));

    new FramelessHelper(this, this);

    for (int type : kReceivedEvents)
        EventDeliverer::instance()->registerReceiver(type, this);

    storeCommandApiHost();
    initUi();
    ui->label_title_pic->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    slot_closeHelpFresh();
    delete ui;
}

// The command-API host: the built-in one, unless "hostConfig.conf" in the working folder names another.
void MainWindow::storeCommandApiHost()
{
    QString host = QString::fromStdString(servicehosts::deploymentUrl(servicehosts::kCommandApiBase));
    QFile file(QDir::currentPath() + QLatin1Char('/') + QLatin1String(kHostConfigFile));
    if (file.open(QIODevice::ReadOnly)) {
        const QString configured = QString::fromUtf8(file.readAll().trimmed());
        if (!configured.isEmpty()) {
            host = configured;
            BG_LOGI("pre_host_set:%s", host.toUtf8().constData());
        }
    }
    BG_LOGD("[pre_host]:%s", host.toUtf8().constData());
    setData(netkeys::kPreConfigHost, bg::ValueQt(host));
}

void MainWindow::initUi()
{
    ui->pushButton_title_pic->hide();
    ui->pushButton_main_max->setCheckable(true);
    ui->pushButton_title_help->setToolTip(QString::fromUtf8("使用帮助"));
    ui->pushButton_title_setting->setToolTip(QString::fromUtf8("设置"));
    ui->pushButton_pay->setText(QString::fromUtf8("开通会员"));
    showPage(ReadyPage);

    loginDialog = new LoginDialog;
    connect(loginDialog, &LoginDialog::sig_RefreshVIP, this, &MainWindow::OnLoginResult);

    if (isAppFirstOpen()) {
        update();
        QTimer::singleShot(kTipsDelayMs, this, &MainWindow::showTipsForm);
    }
    slot_ShowMeetingKey(QString());
}

void MainWindow::showPage(int page)
{
    if (page == MeetingPage) {
        ui->pushButton_main_max->show();
        ui->stackedWidget_main->setCurrentWidget(ui->page_main);
        ui->widget_main_show->setStyleSheet(QString::fromLatin1(kMeetingShowStyle));
    } else if (page == ReadyPage) {
        if (isMaximized()) {
            showNormal();
            ui->pushButton_main_max->setChecked(false);
        }
        ui->pushButton_main_max->hide();
        ui->stackedWidget_main->setCurrentWidget(ui->page_ready);
        ui->widget_main_show->setStyleSheet(QString::fromLatin1(kReadyShowStyle));
    }
}

bool MainWindow::isMeetingRunning() const { return ui->stackedWidget_main->currentWidget() == ui->page_main; }

void MainWindow::updateMainShowStyle(QEvent*) { showPage(MeetingPage); }

void MainWindow::updateJoinShowStyle(QEvent*) { showPage(MeetingPage); }

void MainWindow::updateMeetingKeys()
{
    setData(kDataMeetingKeyMain, bg::Value(""));
    setData(kDataMeetingKeyClient, bg::Value(""));
    setData(kDataChatHostMain, bg::Value(""));
    setData(kDataChatWssMain, bg::Value(""));
    setData(kDataChatroomHost, bg::Value(""));
    setData(kDataChatroomId, bg::Value(0));
    setData(kDataChatroomPwd, bg::Value(""));
    slot_ShowMeetingKey(QString());
    showPage(ReadyPage);
}

bool MainWindow::event(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::CloseMeeting:
        PowerInhibitor::instance().release(QString::fromLatin1(kHoldMeeting));
        updateMeetingKeys();
        return true;
    case UserEventType::Login:
        showUserInfoDialog();
        return true;
    case UserEventType::Pay:
        showVipPayDialog();
        return true;
    case UserEventType::Unused1004:
        OnLoginResult();
        return true;
    case UserEventType::V3ReadyToCreateMeeting:
        PowerInhibitor::instance().hold(
            QString::fromLatin1(kHoldMeeting), PowerInhibitor::Display | PowerInhibitor::System);
        updateMainShowStyle(event);
        return true;
    case UserEventType::V3ReadyToAddMeeting:
        updateJoinShowStyle(event);
        return true;
    default:
        return QMainWindow::event(event);
    }
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() != QEvent::WindowStateChange)
        return;
    const Qt::WindowStates state = windowState();
    if (state == Qt::WindowMaximized) {
        ui->pushButton_main_max->setChecked(true);
        EventDeliverer::instance()->deliver(new V3WindowsStateChangeEvent);
    }
    if (state == Qt::WindowNoState) {
        ui->pushButton_main_max->setChecked(false);
        EventDeliverer::instance()->deliver(new V3WindowsStateChangeEvent);
    }
    if (state != Qt::WindowMinimized)
        EventDeliverer::instance()->deliver(new ShowNormalWindowEvent);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    BG_LOGD("[软件关闭]");
    // A close from the window manager while a meeting runs ends the meeting first, as the close button
    // does, so the meeting's own close handling (stream end, server calls) is not skipped.
    if (!quitting && isMeetingRunning()) {
        event->ignore();
        closeAndQuit();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::moveEvent(QMoveEvent*) { placeTipsForm(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->label_title_pic && event->type() == QEvent::MouseButtonPress) {
        QMetaObject::invokeMethod(this, "on_pushButton_title_pic_clicked");
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::isOnTopEdge(QPoint) { return false; }

bool MainWindow::isOnBottomEdge(QPoint) { return false; }

bool MainWindow::isOnLeftEdge(QPoint) { return false; }

bool MainWindow::isOnRightEdge(QPoint) { return false; }

void MainWindow::onSizing(int, long*, long*, long*, long*) { }

bool MainWindow::isOnCaption(QPoint point)
{
    if (mapFromGlobal(point).y() > ui->widget_main_title->height())
        return false;
    for (QWidget* control : titleControls) {
        if (control && control->rect().contains(control->mapFromGlobal(point)))
            return false;
    }
    return true;
}

void MainWindow::on_pushButton_main_min_clicked() { showMinimized(); }

void MainWindow::on_pushButton_main_max_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWindow::on_pushButton_main_close_clicked() { closeAndQuit(); }

void MainWindow::closeAndQuit()
{
    BG_LOGE("[CloseMeeting]:主持端点击关闭按钮");
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    // The delay lets the posted close event reach every receiver before the loop ends.
    QTimer::singleShot(kQuitDelayMs, this, [this] {
        quitting = true;
        close();
        QCoreApplication::exit(0);
    });
}

void MainWindow::on_pushButton_login_clicked() { showUserInfoDialog(); }

void MainWindow::on_pushButton_title_pic_clicked() { showUserInfoDialog(); }

void MainWindow::on_pushButton_title_help_clicked()
{
    slot_closeHelpFresh();
    HelpHowToUseDialog dialog;
    dialog.exec();
}

void MainWindow::on_pushButton_title_setting_clicked()
{
    auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance());
    SettingDialog* dialog = app ? app->settingDialog() : nullptr;
    if (!dialog)
        return;
    dialog->updateMeetingHost();
    dialog->exec();
}

void MainWindow::slot_ShowMeetingKey(QString key)
{
    ui->label_meetingID->setText(QString::fromUtf8("%1%2").arg(QString::fromUtf8("房间号："), key));
    ui->label_meetingID->setVisible(!key.isEmpty());
    ui->pushButton_copy_share->setVisible(!key.isEmpty());
}

void MainWindow::slot_ShowMessageBox(QString title, QString msg, int btn_type)
{
    MessageBoxDialog box(msg, btn_type, title, this);
    box.exec();
}

void MainWindow::showTipsForm()
{
    if (tipsForm)
        return;
    tipsForm = new FirstTooltipsForm(this);
    connect(tipsForm, &FirstTooltipsForm::sig_firstClose, this, &MainWindow::slot_closeHelpFresh);
    placeTipsForm();
}

void MainWindow::placeTipsForm()
{
    if (!tipsForm)
        return;
    const QPoint corner = ui->pushButton_title_help->mapToGlobal(QPoint(0, 0));
    const int y = corner.y() + ui->pushButton_title_help->height() + 2;
    const int x = corner.x() - (tipsForm->width() - ui->pushButton_title_help->width()) / 2;
    // The place is on the screen; a bubble that is a child widget rather than a window of its own is
    // moved in the window's coordinates.
    const QPoint place(x, y);
    tipsForm->move(tipsForm->isWindow() ? place : tipsForm->parentWidget()->mapFromGlobal(place));
    tipsForm->show();
}

void MainWindow::slot_closeHelpFresh()
{
    if (!tipsForm)
        return;
    setAppFirstOpen();
    tipsForm->close();
    tipsForm->deleteLater();
    tipsForm = nullptr;
}
