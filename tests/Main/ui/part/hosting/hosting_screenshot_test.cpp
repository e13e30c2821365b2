// The new-meeting form's two pages and the host's live meeting window on a real X server; the captures are
// kept in the build folder (SCREENSHOT_DIR).
#include "ui/part/meetingmainform.h"
#include "ui/part/newmeetingreadyform.h"

#include "ui_meetingmainform.h"
#include "ui_newmeetingreadyform.h"

#include "hosting_support.h"
#include "support/scoped_env.h"

#include "global/customevents.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"

#include <studio/zovmwidget.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

using sidepanel::waitUntil;

namespace {

// Distinct colours in the picture: a blank (black or one-colour) capture has very few.
int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

QImage grab(QWidget& widget)
{
    QTest::qWait(300);
    return QGuiApplication::primaryScreen()->grabWindow(widget.winId()).toImage();
}

class HostingScreenshot : public hosting::ServiceTest { };

TEST_F(HostingScreenshot, NewMeetingFormBothPages)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    NewMeetingReadyForm form;
    form.resize(952, 550);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.form()->lineEdit_create_meetingtitle->setText(QString::fromUtf8("产品周会"));
    QImage create = grab(form);
    EXPECT_TRUE(create.save(QStringLiteral(SCREENSHOT_DIR "/newmeeting_create.png")));
    EXPECT_GT(colourCount(create), 20);

    form.form()->pushButton_change_to_add->click();
    form.form()->lineEdit_add_meeting_key->setText(QStringLiteral("00000042"));
    QImage join = grab(form);
    EXPECT_TRUE(join.save(QStringLiteral(SCREENSHOT_DIR "/newmeeting_join.png")));
    EXPECT_NE(create, join);
    EXPECT_TRUE(form.form()->lineEdit_add_pwd->isVisible());
}

TEST_F(HostingScreenshot, LiveMeetingWindow)
{
    QTemporaryDir config;
    ScopedEnv home("XDG_CONFIG_HOME", config.path().toStdString());
    ScopedEnv desktopSound("TAVICAST_DESKTOP_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence"));
    ScopedEnv microphone("TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence"));
    sidepanel::setData(kRoomUserToken, bg::Value("tok-host"));
    sidepanel::setData(kRoomServiceHost, bg::ValueQt(QString::fromStdString(base)));
    sidepanel::setData(kRoomMeetingKeyMain, bg::Value("00000042"));
    sidepanel::setData(kRoomChatHostMain, bg::Value(base));
    sidepanel::setData(kRoomChatWssMain, bg::Value(wss));
    sidepanel::setData(kRoomIsHost, bg::Value(true));
    cfgSetStdString(CD->config, kCfgVideoSize, "1280,720");
    devservice::RecordedRequest made;
    made.members["meetting_key"] = "00000042";
    made.members["password"] = "580917";
    made.members["token"] = "tok-host";
    ASSERT_EQ(rooms->create(made).errcode, 0);

    MeetingMainForm form;
    form.resize(1100, 640);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    V3ReadyToCreateMeetingEvent ready(QString::fromUtf8("产品周会"), "580917", QRect(), 2, 7200, 50);
    QCoreApplication::sendEvent(&form, &ready);
    ASSERT_TRUE(waitUntil([&] { return form.isStreaming() && form.members().size() == 1; }, 60000))
        << notices.join('|').toStdString();
    ASSERT_TRUE(waitUntil([&] { return form.form()->widget_center->composedFrameCount() > 5; }, 30000));
    QImage shot = grab(form);
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/meeting_host.png")));
    EXPECT_GT(colourCount(shot), 20);
    CloseMeetingEvent closing;
    QCoreApplication::sendEvent(&form, &closing);
}

} // namespace
