// Where the studio keeps "Basic.ini" and what it keeps there.
#include <studio/zovmwidget.h>

#include "support/scoped_env.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(StudioSettings, IniPathByTable)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString home = folder.filePath("home");
    const QString xdg = folder.filePath("xdg");
    ASSERT_TRUE(QDir().mkpath(home) && QDir().mkpath(xdg) && QDir().mkpath(folder.filePath("own")));
    ScopedEnv homeEnv("HOME", home.toStdString());
    // The path the meeting room passes: a folder at the root on Linux, which must not be made.
    const QString roomPath = QDir::tempPath() + "/../Tavimeet/Basic.ini";
    const bool rootFolderExisted = QFileInfo::exists(QDir::cleanPath(QDir::tempPath() + "/../Tavimeet"));

    struct Case {
        const char* name;
        QString requested;
        std::optional<std::string> xdgConfigHome;
        QString expected;
    };
    const Case cases[] = {
        { "an existing folder is used", folder.filePath("own/Basic.ini"), xdg.toStdString(),
            folder.filePath("own/Basic.ini") },
        { "a missing folder falls back to XDG_CONFIG_HOME", roomPath, xdg.toStdString(),
            xdg + "/Tavimeet/Basic.ini" },
        { "without XDG_CONFIG_HOME, ~/.config", roomPath, std::nullopt,
            home + "/.config/Tavimeet/Basic.ini" },
        { "a relative XDG_CONFIG_HOME is ignored", roomPath, std::string("relative"),
            home + "/.config/Tavimeet/Basic.ini" },
        { "no path at all", QString(), xdg.toStdString(), xdg + "/Tavimeet/Basic.ini" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", c.xdgConfigHome);
        ZovMWidget studio;
        EXPECT_TRUE(studio.Initialize(c.requested));
        EXPECT_EQ(studio.iniPath(), c.expected);
        EXPECT_TRUE(QFileInfo::exists(c.expected));
    }
    if (!rootFolderExisted) {
        EXPECT_FALSE(QFileInfo::exists(QDir::cleanPath(QDir::tempPath() + "/../Tavimeet")));
    }
}

TEST(StudioSettings, SettingsSurviveARestart)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("Basic.ini");
    const QString records = folder.filePath("录像 目录");
    {
        ZovMWidget studio;
        ASSERT_TRUE(studio.Initialize(path));
        EXPECT_EQ(studio.outputSize(), QSize(1280, 720));
        studio.ResetVideoSize(960, 540);
        studio.SetFps(25);
        studio.SetVideoBitRate(1800);
        studio.SetVideoKeyFrameSec(2);
        studio.SetRateControl(EncodeRateControl_Variable);
        studio.SetEncoder(VideoEncoder_Hardware);
        EXPECT_EQ(studio.outputSize(), QSize(1280, 720)); // applied by ResetOutputs
        studio.ResetOutputs();
        studio.SetRecordDir(records);
    }
    EXPECT_FALSE(QFileInfo::exists(path + ".tmp"));
    ZovMWidget studio;
    ASSERT_TRUE(studio.Initialize(path));
    EXPECT_EQ(studio.outputSize(), QSize(960, 540));
    EXPECT_EQ(studio.fps(), 25);
    EXPECT_EQ(studio.videoBitRate(), 1800);
    EXPECT_EQ(studio.keyFrameSec(), 2);
    EXPECT_EQ(studio.rateControl(), EncodeRateControl_Variable);
    EXPECT_EQ(studio.encoder(), VideoEncoder_Hardware);
    EXPECT_EQ(studio.recordDir(), records);
}

TEST(StudioSettings, BadValuesKeepTheirDefaults)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("Basic.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Video]\nOutputCX=-5\nOutputCY=99999\nFPS=abc\nBitrate=0\nRateControl=7\nKeyframeSec=4\n");
    file.close();
    ZovMWidget studio;
    EXPECT_TRUE(studio.Initialize(path));
    EXPECT_EQ(studio.outputSize(), QSize(1280, 720));
    EXPECT_EQ(studio.fps(), 30);
    EXPECT_EQ(studio.videoBitRate(), 1000);
    EXPECT_EQ(studio.rateControl(), EncodeRateControl_Constant);
    EXPECT_EQ(studio.keyFrameSec(), 4);
    // Out-of-range calls are refused too.
    studio.ResetVideoSize(0, 100);
    studio.SetFps(0);
    studio.ResetOutputs();
    EXPECT_EQ(studio.outputSize(), QSize(1280, 720));
    EXPECT_EQ(studio.fps(), 30);
}

// Files the settings reader must not hand on: a serialised value whose decoding asks for any amount of
// memory, and a file far larger than any we write. Both are unreadable, and the defaults hold.
TEST(StudioSettings, UnsafeFilesAreRefused)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        { "serialised value", QByteArray("[Video]\nFPS=25\nBitrate=@Variant(\\0\\0\\0\\x"
                                         "Bitrate2\\0\\0\\0\\x\xbf" "e)\n") },
        { "oversized", "[Video]\nFPS=25\n;" + QByteArray(100 * 1024, 'x') + "\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString path = folder.filePath("Basic.ini");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        ZovMWidget studio;
        EXPECT_FALSE(studio.Initialize(path));
        EXPECT_EQ(studio.fps(), 30);
        EXPECT_EQ(studio.videoBitRate(), 1000);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
