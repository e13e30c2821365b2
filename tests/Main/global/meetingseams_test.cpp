#include "global/meetingclock.h"
#include "global/meetingprompt.h"
#include "global/processlauncher.h"
#include "global/randomsource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class MeetingSeamsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_meetingseams";
            static char* argv[] = { name, nullptr };
            static QCoreApplication app(argc, argv);
        }
    }
    void TearDown() override
    {
        setProcessLauncher({});
        setRandomSource({});
        setMeetingClock({});
        setMeetingPromptHook({});
    }
};

TEST_F(MeetingSeamsTest, HelperIsFoundBesideTheProgramThenOnPath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString onPath = dir.filePath("tavicast-helper-probe");
    QFile script(onPath);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 30\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8() + ":" + oldPath);
    EXPECT_EQ(findHelperProgram("tavicast-helper-probe"), onPath);
    EXPECT_TRUE(findHelperProgram("tavicast-no-such-helper").isEmpty());
    EXPECT_TRUE(findHelperProgram("../tavicast-helper-probe").isEmpty()) << "only bare names are looked up";
    // The program's own folder wins over PATH: the test program itself stands in for a helper there.
    const QString self = QCoreApplication::applicationFilePath();
    EXPECT_EQ(findHelperProgram(QFileInfo(self).fileName()), self);

    qint64 pid = 0;
    ASSERT_TRUE(launchHelperProgram("tavicast-helper-probe", {}, &pid));
    EXPECT_GT(pid, 0);
    EXPECT_FALSE(endLaunchedProcess(1)) << "a process not started here is never signalled";
    EXPECT_TRUE(endLaunchedProcess(pid));
    EXPECT_FALSE(endLaunchedProcess(pid)) << "ended once";
    EXPECT_FALSE(launchHelperProgram("tavicast-no-such-helper", {}));
    qputenv("PATH", oldPath);
}

TEST_F(MeetingSeamsTest, ReplacedSourcesAnswerAndEmptyOnesRestore)
{
    QStringList started;
    setProcessLauncher([&](const QString& program, const QStringList& args, qint64* pid) {
        started << program + " " + args.join(' ');
        *pid = 4242;
        return true;
    });
    qint64 pid = 0;
    EXPECT_TRUE(launchHelperProgram("ZovMeetingBall", { "20001" }, &pid));
    EXPECT_EQ(started, QStringList { "ZovMeetingBall 20001" });
    EXPECT_EQ(pid, 4242);
    EXPECT_TRUE(endLaunchedProcess(4242));

    setMeetingClock([] { return qint64(3725500); });
    EXPECT_EQ(meetingNowSecs(), 3725);
    setMeetingClock({});
    EXPECT_GT(meetingNowSecs(), 1700000000);

    setRandomSource([] { return 0u; });
    EXPECT_EQ(randomAlnum(4), "AAAA");
    setRandomSource([] { return 0xFFFFFFFFu; });
    EXPECT_EQ(randomAlnum(3), "999");
    setRandomSource({});
    const QString a = randomAlnum(16), b = randomAlnum(16);
    EXPECT_EQ(a.size(), 16);
    EXPECT_NE(a, b);

    MeetingPrompt seen;
    setMeetingPromptHook([&](const MeetingPrompt& prompt) {
        seen = prompt;
        return 1;
    });
    MeetingPrompt ask;
    ask.title = "t";
    ask.text = "invite?";
    ask.buttons = 3;
    EXPECT_EQ(runMeetingPrompt(ask), 1);
    EXPECT_EQ(seen.text, "invite?");
    EXPECT_EQ(seen.buttons, 3);
}

} // namespace
