#pragma once

#include "app/basesingleapplication.h"
#include "media/i420frame.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

#include <functional>

class MainWindow;
class SettingDialog;
class ViewerFullScreenShowForm;
namespace Json {
class Value;
}

// The program's application object. In the primary instance it creates the main window on the first turn of
// the event loop (the settings dialog when first asked for, the viewer's full-screen form when a meeting first
// shows it or sends it a picture), fetches the application configuration and keeps the membership rights it
// carries; a secondary instance asks the primary to show its window and ends with code 0.
//
// The windows are observed, not owned: they live until the process ends. The request worker is started
// here and stopped (after a bounded wait for queued calls) by the destructor. GUI thread only, except
// showMessageBox, which any thread may call.
class ZovMeetingApplication : public BaseSingleApplication {
    Q_OBJECT
public:
    // Receives the message boxes in place of the main window (a test seam; empty in production).
    using MessageSink = std::function<void(const QString& title, const QString& msg, int btnType)>;

    ZovMeetingApplication(int& argc, char** argv);
    ~ZovMeetingApplication() override;

    void vipRights(QList<QPair<QString, QString>>& rights, QString& brief) const;
    QString playHost() const { return m_playHost; }
    void showMeetingKey(const QString& key);
    void showMessageBox(const QString& title, const QString& msg, int btn_type);
    void showFullScreenFrame(I420FramePtr frame);
    // Null before the main window exists.
    SettingDialog* settingDialog();
    MainWindow* mainWindow() const;
    // Null until a meeting first needs the form.
    ViewerFullScreenShowForm* viewerFullScreen() const;

    void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }

public slots:
    void initialize();
    void onAppConfigResult(bool result, QString jsonResult, int errorCode, QString error);

protected:
    bool event(QEvent* event) override;

private:
    void showPrimaryWindow();
    ViewerFullScreenShowForm* ensureViewerFullScreen();
    bool readAppConfig(const Json::Value& root);

    QPointer<MainWindow> m_mainWindow;
    QPointer<ViewerFullScreenShowForm> m_viewerFullScreen;
    QPointer<SettingDialog> m_settingDialog;
    QList<QPair<QString, QString>> m_rights;
    QString m_rightsBrief;
    QString m_playHost;
    MessageSink m_messageSink;
};
