// The meeting's control bar: which buttons each role sees, the stop button's gate, the sound buttons'
// presets and clicks, the whiteboard program's gates, starts and ending, and the camera through the dialog
// and the synthetic camera.
#include "controlbar_support.h"

#include "global/datakeys.h"
#include "global/filepicker.h"
#include "global/meetingkeys.h"
#include "global/meetingprompt.h"
#include "global/processlauncher.h"
#include "ui/part/meetingctrlbutton.h"
#include "ui/part/meetingmainctrlform.h"

#include "support/scoped_env.h"

#include <bridge/dataauth.h>
#include <capture/catalog.h>
#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class ControlBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        setData(kDataMeetingIsHost, bg::Value(true));
        setData(kDataUserId, bg::Value(42LL));
        setData(kDataUserLevel, bg::Value(2));
    }
    void TearDown() override
    {
        setMeetingPromptHook({});
        setProcessLauncher({});
        capture::setCatalog({});
    }

    MeetingCtrlButton* button(const char* name) { return bar.findChild<MeetingCtrlButton*>(name); }
    QWidget* widget(const char* name) { return bar.findChild<QWidget*>(name); }
    QString caption(const char* name) { return button(name)->bottomLabel()->text(); }

    void startMeeting(bool host, int audioMode = 2)
    {
        setData(kDataMeetingIsHost, bg::Value(host));
        deliverNow(createMeeting(audioMode));
    }

    MeetingMainCtrlForm bar;
};

TEST_F(ControlBarTest, EachRoleSeesItsButtonsAndNeverTheLockOrAddress)
{
    const char* hostOnly[] = { "pushButton_sys_voice", "pushButton_call", "pushButton_open_or_close_camera",
        "pushButton_add_image", "pushButton_board" };
    const char* viewerOnly[] = { "pushButton_rotate", "pushButton_maximum" };
    for (bool host : { true, false }) {
        SCOPED_TRACE(host ? "host" : "viewer");
        startMeeting(host);
        EXPECT_FALSE(widget("pushButton_stop")->isHidden());
        for (const char* name : hostOnly)
            EXPECT_EQ(widget(name)->isHidden(), !host) << name;
        for (const char* name : viewerOnly)
            EXPECT_EQ(widget(name)->isHidden(), host) << name;
        EXPECT_TRUE(widget("pushButton_locked")->isHidden());
        EXPECT_TRUE(widget("label_mmc_showip")->isHidden());
    }
}

TEST_F(ControlBarTest, StopStaysDisabledUntilTheStreamIsReadyAndThenEndsTheMeeting)
{
    startMeeting(true);
    EXPECT_FALSE(widget("pushButton_stop")->isEnabled());
    deliverNow(new V3StreamReadyEvent());
    EXPECT_TRUE(widget("pushButton_stop")->isEnabled());

    bar.setLiveTime(QStringLiteral("01:02:03"));
    EXPECT_EQ(caption("pushButton_stop"), "01:02:03");
    PostedEvents posted { UserEventType::CloseMeeting };
    button("pushButton_stop")->click();
    posted.settle();
    ASSERT_EQ(posted.entries.size(), 1);
    EXPECT_EQ(posted.entries[0].type, UserEventType::CloseMeeting);
}

TEST_F(ControlBarTest, AudioModePresetsSetTheSoundButtonsWithoutPostingEvents)
{
    const struct {
        int mode;
        bool micChecked;
        const char* micCaption;
        bool sysChecked;
        const char* sysCaption;
    } cases[] = {
        { 0, true, "麦克风关", false, "系统声开" },
        { 1, false, "麦克风开", true, "系统声关" },
        { 2, false, "麦克风开", false, "系统声开" },
        { 3, true, "麦克风关", true, "系统声关" },
    };
    PostedEvents posted { UserEventType::V3ControlMicroAudio, UserEventType::V3ControlSystemAudio };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        startMeeting(true, c.mode);
        EXPECT_EQ(button("pushButton_call")->isChecked(), c.micChecked);
        EXPECT_EQ(caption("pushButton_call"), QString::fromUtf8(c.micCaption));
        EXPECT_EQ(button("pushButton_sys_voice")->isChecked(), c.sysChecked);
        EXPECT_EQ(caption("pushButton_sys_voice"), QString::fromUtf8(c.sysCaption));
        EXPECT_EQ(button("pushButton_call")->topLabel()->styleSheet().contains("ctrl_membercall_press"),
            c.micChecked);
    }
    // A mode outside the table keeps the buttons as they were.
    startMeeting(true, 7);
    EXPECT_TRUE(button("pushButton_call")->isChecked());
    posted.settle();
    EXPECT_TRUE(posted.entries.isEmpty());
}

TEST_F(ControlBarTest, SoundClicksPostTheirEventWithTheMuteFlagAndCaption)
{
    startMeeting(true, 3);
    PostedEvents posted { UserEventType::V3ControlMicroAudio, UserEventType::V3ControlSystemAudio };
    button("pushButton_call")->click();
    posted.settle();
    ASSERT_EQ(posted.entries.size(), 1);
    EXPECT_EQ(posted.entries[0].type, UserEventType::V3ControlMicroAudio);
    EXPECT_FALSE(posted.entries[0].mute);
    EXPECT_EQ(caption("pushButton_call"), "麦克风开");

    button("pushButton_sys_voice")->click();
    button("pushButton_sys_voice")->click();
    posted.settle();
    ASSERT_EQ(posted.entries.size(), 3);
    EXPECT_EQ(posted.entries[1].type, UserEventType::V3ControlSystemAudio);
    EXPECT_FALSE(posted.entries[1].mute);
    EXPECT_TRUE(posted.entries[2].mute);
    EXPECT_EQ(caption("pushButton_sys_voice"), "系统声关");
}

TEST_F(ControlBarTest, ButtonLooksFollowHoverPressAndCheckedState)
{
    startMeeting(true);
    MeetingCtrlButton* board = button("pushButton_board");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(board, &enter);
    EXPECT_TRUE(board->topLabel()->styleSheet().contains("ctrl_board_hover.png"));
    EXPECT_TRUE(board->bottomLabel()->styleSheet().contains("#A7A7A7"));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(board, &leave);
    EXPECT_TRUE(board->topLabel()->styleSheet().contains("ctrl_board.png"));

    MeetingCtrlButton* call = button("pushButton_call");
    call->setChecked(true);
    QCoreApplication::sendEvent(call, &leave);
    EXPECT_TRUE(call->topLabel()->styleSheet().contains("ctrl_membercall_press.png"));
    EXPECT_TRUE(call->bottomLabel()->styleSheet().contains("#3597FF"));
}

TEST_F(ControlBarTest, WhiteboardNeedsASignedInMemberOfLevelTwo)
{
    const struct {
        long long userId;
        int level;
        int expected;
    } cases[] = {
        { 0, 2, UserEventType::Login },
        { 0, 5, UserEventType::Login },
        { 42, 1, UserEventType::Pay },
        { 42, 0, UserEventType::Pay },
    };
    int launches = 0;
    setProcessLauncher([&](const QString&, const QStringList&, qint64*) {
        ++launches;
        return false;
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userId);
        setData(kDataUserId, bg::Value(c.userId));
        setData(kDataUserLevel, bg::Value(c.level));
        PostedEvents posted { UserEventType::Login, UserEventType::Pay };
        button("pushButton_board")->click();
        posted.settle();
        ASSERT_EQ(posted.entries.size(), 1);
        EXPECT_EQ(posted.entries[0].type, c.expected);
    }
    EXPECT_EQ(launches, 0);
}

TEST_F(ControlBarTest, AddImageOffersTheLastFolderAndHandsOnTheChosenFile)
{
    QStringList folders;
    QString answer = QStringLiteral("/srv/pictures/slide.png");
    setFilePicker([&](QWidget*, const QString& caption, const QString& startDir, const QString& filter) {
        EXPECT_EQ(caption, "添加图片");
        EXPECT_EQ(filter, "files (*.bmp *.png *.jpeg *.jpg)");
        folders << startDir;
        return answer;
    });
    QSignalSpy added(&bar, &MeetingMainCtrlForm::sig_tmpAddImageSource);
    button("pushButton_add_image")->click();
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0][0].toString(), answer);
    // A cancelled dialog hands on nothing and keeps the remembered folder.
    answer.clear();
    button("pushButton_add_image")->click();
    button("pushButton_add_image")->click();
    setFilePicker({});
    EXPECT_EQ(added.size(), 1);
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(folders[1], "/srv/pictures");
    EXPECT_EQ(folders[2], "/srv/pictures");
}

// The process's end, whether or not anyone reaped it.
bool hasEnded(int pidfd)
{
    pollfd entry { pidfd, POLLIN, 0 };
    return ::poll(&entry, 1, 0) == 1;
}

TEST_F(ControlBarTest, KillEndsExactlyTheWhiteboardsThisBarStarted)
{
    // A stand-in whiteboard program on PATH notes its process id and argument, then sleeps.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath("launches");
    QFile script(dir.filePath("ZovWhiteBoard"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$$ $1\" >> '%1'\nexec sleep 60\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ScopedEnv path("PATH", (dir.path() + ":" + qgetenv("PATH")).toStdString());
    ASSERT_EQ(findHelperProgram("ZovWhiteBoard"), script.fileName());

    // Same program, not started by the bar: it must survive the kill.
    qint64 otherPid = 0;
    ASSERT_TRUE(QProcess::startDetached(script.fileName(), { "other" }, QString(), &otherPid));

    button("pushButton_board")->click();
    button("pushButton_board")->click();
    QStringList lines;
    ASSERT_TRUE(spinUntil([&] {
        QFile file(log);
        if (file.open(QIODevice::ReadOnly))
            lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        return lines.size() == 3;
    }));
    std::vector<int> ours;
    int other = -1;
    QStringList arguments;
    for (const QString& line : lines) {
        const qint64 pid = line.section(' ', 0, 0).toLongLong();
        const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
        ASSERT_GE(fd, 0);
        if (pid == otherPid) {
            other = fd;
        } else {
            ours.push_back(fd);
            arguments << line.section(' ', 1);
        }
    }
    ASSERT_EQ(ours.size(), 2u);
    ASSERT_GE(other, 0);
    // Both starts carry {"cmd":"show_hide"}, styled and in base64.
    EXPECT_EQ(arguments[0], arguments[1]);
    EXPECT_TRUE(QByteArray::fromBase64(arguments[0].toLatin1()).contains("\"cmd\" : \"show_hide\""));

    bar.killWhiteBoard();
    EXPECT_TRUE(spinUntil([&] { return hasEnded(ours[0]) && hasEnded(ours[1]); }));
    EXPECT_FALSE(hasEnded(other));
    // Nothing left to end: a second kill touches nothing.
    bar.killWhiteBoard();
    QCoreApplication::processEvents();
    EXPECT_FALSE(hasEnded(other));

    ::syscall(SYS_pidfd_send_signal, other, SIGKILL, nullptr, 0);
    for (int fd : ours)
        ::close(fd);
    ::close(other);
}

TEST_F(ControlBarTest, AnIdAnsweredByAReplacedLauncherIsNeverSignalled)
{
    // The replaced launcher answers the id of a process the bar did not start.
    qint64 pid = 0;
    ASSERT_TRUE(QProcess::startDetached("sleep", { "60" }, QString(), &pid));
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(fd, 0);
    setProcessLauncher([pid](const QString&, const QStringList&, qint64* started) {
        *started = pid;
        return true;
    });
    button("pushButton_board")->click();
    bar.killWhiteBoard();
    QCoreApplication::processEvents();
    EXPECT_FALSE(hasEnded(fd));
    ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
    ::close(fd);
}

TEST(OwnedProcessTest, AProcessThatIgnoresTerminationIsKilledAfterTheGrace)
{
    qint64 pid = 0;
    ASSERT_TRUE(QProcess::startDetached("/bin/sh", { "-c", "trap '' TERM; exec sleep 60" }, QString(), &pid));
    OwnedProcess process(pid);
    ASSERT_TRUE(process.isValid());
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(fd, 0);
    // Give the shell the time to install its trap before the signal comes.
    spinUntil([&] {
        QFile status(QStringLiteral("/proc/%1/comm").arg(pid));
        return status.open(QIODevice::ReadOnly) && status.readAll().startsWith("sleep");
    });
    std::vector<OwnedProcess> list;
    list.push_back(std::move(process));
    OwnedProcess::terminate(std::move(list), 300);
    QCoreApplication::processEvents();
    EXPECT_FALSE(hasEnded(fd));
    EXPECT_TRUE(spinUntil([&] { return hasEnded(fd); }));
    ::close(fd);
}

// The camera ------------------------------------------------------------------------------------------

class ControlBarCameraTest : public ControlBarTest {
protected:
    void SetUp() override
    {
        ControlBarTest::SetUp();
        capture::setCatalog([](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category == CLSID_VideoInputDeviceCategory)
                entries.push_back(
                    capture::syntheticCameraEntry(L"Bar", capture::defaultSyntheticCapabilities()));
            return entries;
        });
        startMeeting(true);
    }

    void answerPrompt(bool accept)
    {
        setMeetingPromptHook([this, accept](const MeetingPrompt&) {
            ++prompts;
            return accept ? 1 : 0;
        });
    }

    MeetingCtrlButton* camera() { return button("pushButton_open_or_close_camera"); }

    int prompts = 0;
};

TEST_F(ControlBarCameraTest, AcceptedCameraIsReadyAfterItsFirstFrameAndStopsOnce)
{
    answerPrompt(true);
    QSignalSpy ready(&bar, &MeetingMainCtrlForm::CameraReady);
    QSignalSpy stop(&bar, &MeetingMainCtrlForm::CameraStop);
    camera()->click();
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(bar.isCameraOn());
    EXPECT_EQ(caption("pushButton_open_or_close_camera"), "摄像头开");
    ASSERT_TRUE(spinUntil([&] { return ready.size() == 1; }));
    EXPECT_FALSE(ready[0][0].toString().isEmpty());
    EXPECT_GT(ready[0][1].toInt(), 0);
    EXPECT_GT(ready[0][2].toInt(), 0);
    EXPECT_EQ(stop.size(), 0);

    camera()->click();
    EXPECT_EQ(stop.size(), 1);
    EXPECT_FALSE(bar.isCameraOn());
    EXPECT_EQ(caption("pushButton_open_or_close_camera"), "摄像头关");
    camera()->setChecked(false);
    EXPECT_EQ(stop.size(), 1);
}

TEST_F(ControlBarCameraTest, CancelledPromptLeavesTheCameraOffWithoutSignals)
{
    answerPrompt(false);
    QSignalSpy ready(&bar, &MeetingMainCtrlForm::CameraReady);
    QSignalSpy stop(&bar, &MeetingMainCtrlForm::CameraStop);
    camera()->click();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(camera()->isChecked());
    EXPECT_FALSE(bar.isCameraOn());
    EXPECT_EQ(caption("pushButton_open_or_close_camera"), "摄像头关");
    EXPECT_EQ(ready.size() + stop.size(), 0);
}

TEST_F(ControlBarCameraTest, ClosingTheMeetingStopsTheCameraButLeavesTheButtonChecked)
{
    answerPrompt(true);
    QSignalSpy stop(&bar, &MeetingMainCtrlForm::CameraStop);
    camera()->click();
    ASSERT_TRUE(bar.isCameraOn());
    deliverNow(new CloseMeetingEvent());
    EXPECT_EQ(stop.size(), 1);
    EXPECT_FALSE(bar.isCameraOn());
    EXPECT_TRUE(camera()->isChecked());
    // The next meeting starts with the button unchecked, and no second stop.
    startMeeting(true);
    EXPECT_FALSE(camera()->isChecked());
    EXPECT_EQ(stop.size(), 1);
}

TEST_F(ControlBarCameraTest, ToggleFromTheBallOpensThePromptWhenTheCameraIsOff)
{
    answerPrompt(true);
    bar.toggleCamera();
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(bar.isCameraOn());
    EXPECT_TRUE(camera()->topLabel()->styleSheet().contains("ctrl_camera_hover.png"));
    bar.toggleCamera();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(bar.isCameraOn());
}

TEST_F(ControlBarCameraTest, AMeetingClosedWhileThePromptIsOpenStartsNoCamera)
{
    QSignalSpy ready(&bar, &MeetingMainCtrlForm::CameraReady);
    setMeetingPromptHook([](const MeetingPrompt&) {
        // The dialog's own loop delivers the close while the user still looks at it.
        deliverNow(new CloseMeetingEvent());
        return 1;
    });
    camera()->click();
    EXPECT_FALSE(bar.isCameraOn());
    EXPECT_FALSE(camera()->isChecked());
    EXPECT_EQ(ready.size(), 0);
}

} // namespace
