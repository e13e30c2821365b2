#pragma once

#include "win/resizeinterface.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class FirstTooltipsForm;
class LoginDialog;

namespace Ui {
class MainWindow;
}

// The program's one top-level window: a frameless window with its own title bar over a stack of two
// pages, the ready page (NewMeetingReadyForm) and the meeting page (MeetingMainForm). It receives the
// application-wide custom events (meeting closed, login and purchase requests, meeting started) and hosts
// the message box that every part of the program shows through the application object.
//
// Created once by the application object without a parent; lives until the process ends. Owns its form
// and the first-use bubble; the login dialog is never deleted. GUI thread only: other threads reach it by
// invoking slot_ShowMessageBox or slot_SetImage by name.
class MainWindow : public QMainWindow, public ResizeInterface {
    Q_OBJECT
public:
    enum Page { ReadyPage = 0, MeetingPage = 1 };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void showPage(int page);

    bool isOnTopEdge(QPoint point) override;
    bool isOnBottomEdge(QPoint point) override;
    bool isOnLeftEdge(QPoint point) override;
    bool isOnRightEdge(QPoint point) override;
    // True where a press drags the window: inside the title bar's height and on none of its controls.
    bool isOnCaption(QPoint point) override;
    void onSizing(int edgeFlags, long* top, long* bottom, long* left, long* right) override;

    // A press on the avatar label acts as the (hidden) avatar button and is consumed.
    bool eventFilter(QObject* watched, QEvent* event) override;

    virtual void updateMeetingKeys();
    virtual void showUserInfoDialog();
    virtual void updateUserInfo();
    virtual void showVipPayDialog();
    virtual void updateMainShowStyle(QEvent* event);
    virtual void updateJoinShowStyle(QEvent* event);

public slots:
    void slot_ShowMeetingKey(QString key);
    void slot_ShowMessageBox(QString title, QString msg, int btn_type);

private slots:
    void slot_closeHelpFresh();
    void slot_loginCallBack(QString json_result, QString errMsg, int errcode);
    void slot_SetImage(QString qss, QString url);
    void OnLoginResult();
    void on_pushButton_main_close_clicked();
    void on_pushButton_main_max_clicked();
    void on_pushButton_main_min_clicked();
    void on_pushButton_login_clicked();
    void on_pushButton_title_pic_clicked();
    void on_pushButton_title_setting_clicked();
    void on_pushButton_title_help_clicked();
    void on_pushButton_copy_share_clicked();
    void on_pushButton_pay_clicked();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void initUi();
    void storeCommandApiHost();
    void showTipsForm();
    void placeTipsForm();
    bool isMeetingRunning() const;
    // Ends the meeting (event 1001), then closes the window and leaves the event loop with code 0.
    void closeAndQuit();
    void updateVipBorder();
    // Runs on a thread of the global pool and touches no widget: fetches the avatar, moves it into place
    // and has slot_SetImage run on the GUI thread while the window still exists.
    static void downloadAvatar(
        QString url, QString tempPath, QString avatarPath, QPointer<MainWindow> window, QString qss);

    Ui::MainWindow* ui;
    QList<QWidget*> titleControls;
    QPointer<LoginDialog> loginDialog;
    QPointer<FirstTooltipsForm> tipsForm;
    QDateTime vipEndTime;
    bool quitting = false;
};
