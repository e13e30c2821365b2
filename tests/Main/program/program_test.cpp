// The program as a user starts it: offscreen, with its own home and temporary folders.
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        for (const char* sub : { "home", "tmp", "data", "work" })
            ASSERT_TRUE(QDir(m_root.path()).mkpath(QString::fromLatin1(sub)));
    }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QString path(const char* sub) const { return m_root.filePath(QString::fromLatin1(sub)); }

    // Starts the program with its folders under `base` (the test's root by default) and, unless told
    // otherwise, the test's own instance name, so that the user's running client or a parallel test never
    // meets it.
    QProcess* startProgram(const QString& base = QString(), bool ownInstance = true)
    {
        const QString root = base.isEmpty() ? m_root.path() : base;
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root + "/home");
        env.insert("TMPDIR", root + "/tmp");
        env.insert("XDG_DATA_HOME", root + "/data");
        env.insert("XDG_CONFIG_HOME", root + "/data");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TAVICAST_SERVICE_URL", "http://127.0.0.1:9");
        env.insert("TAVICAST_TEST_PLUGIN_LOG", root + "/plugin.log");
        if (ownInstance)
            env.insert("TAVICAST_TEST_INSTANCE", instanceName());
        else
            env.remove("TAVICAST_TEST_INSTANCE");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(root + "/work");
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(TAVIMEET), QStringList());
        EXPECT_TRUE(process->waitForStarted(5000));
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    static QString instanceName() { return QStringLiteral("program-test-%1").arg(getpid()); }

    // The first file of that name anywhere under the test's folders.
    QString findFile(const QString& pattern) const
    {
        QDirIterator it(m_root.path(), { pattern }, QDir::Files, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }

    QByteArray readFound(const QString& pattern) const
    {
        const QString found = findFile(pattern);
        QFile file(found);
        return !found.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    enum class Marker { OwnInstance, UsersClient, MachineWide };

    // The marker block of the test's own instance, of the user's client (no instance name), or the
    // machine-wide name a marker must not use.
    static QByteArray probeMarker(Marker which = Marker::OwnInstance)
    {
        QString name = QStringLiteral("ZovMeeting_Whiteboard_Key");
        if (which != Marker::MachineWide)
            name += QStringLiteral("_%1").arg(getuid());
        if (which == Marker::OwnInstance)
            name += QLatin1Char('_') + instanceName();
        QProcess probe;
        probe.start(QStringLiteral(MARKER_PROBE), { name });
        if (!probe.waitForFinished(5000) || probe.exitCode() != 0)
            return QByteArray();
        return probe.readAllStandardOutput().trimmed();
    }

    // One primary with its marker block, a second start that ends by itself, and the session's end that
    // tears the primary down and takes the block with it.
    void checkMarkerAndShutdown()
    {
        QProcess* primary = startProgram();
        // The plug-in load is logged once the instance guard is up (the built plug-in may sit beside the program).
        ASSERT_TRUE(waitUntil(
            [&] { return readFound("Admin*.log").contains("BaseSingleApplication loaded modules count = "); },
            30000))
            << readFound("Admin*.log").constData();
        EXPECT_EQ(probeMarker(), QByteArray("okay"));
        EXPECT_EQ(probeMarker(Marker::MachineWide), QByteArray()) << "one machine-wide block would shut other users out";
        // The codec library (and the ninety it brings) comes with the first camera sample, GStreamer with the
        // first meeting or recording, not with the start: looked at once the main window was made and its first
        // request (refused here) came back.
        ASSERT_TRUE(waitUntil(
            [&] { return readFound("Admin*.log").contains("application configuration request failed"); }, 30000))
            << readFound("Admin*.log").constData();
        QFile maps(QStringLiteral("/proc/%1/maps").arg(primary->processId()));
        ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        EXPECT_FALSE(mapped.contains("libavcodec.so"));
        EXPECT_FALSE(mapped.contains("/libgst")) << "a GStreamer library is mapped at start";

        QProcess* secondary = startProgram();
        ASSERT_TRUE(secondary->waitForFinished(30000)) << "a second start must end by itself";
        EXPECT_EQ(secondary->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(secondary->exitCode(), 0);
        EXPECT_EQ(primary->state(), QProcess::Running);

        // The session ends the program: the normal tear-down runs and the configuration is saved.
        ::kill(pid_t(primary->processId()), SIGTERM);
        ASSERT_TRUE(primary->waitForFinished(60000));
        EXPECT_EQ(primary->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(primary->exitCode(), 0);

        const QByteArray config = readFound("Admin.conf");
        EXPECT_TRUE(config.contains("record.enable : 1\n")) << config.constData();
        EXPECT_TRUE(config.contains("record.dir : " + path("home").toUtf8() + "\n")) << config.constData();
        EXPECT_EQ(probeMarker(), QByteArray()) << "the marker block goes with its owner";
    }

    // Polls the condition until it holds or the deadline passes.
    template <typename Condition> static bool waitUntil(Condition condition, int deadlineMs)
    {
        QDeadlineTimer deadline(deadlineMs);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(ProgramTest, SingleInstanceMarkerAndShutdown) { checkMarkerAndShutdown(); }

// The user's own client (started without an instance name, with folders of its own) runs meanwhile: the
// test's program is still a primary of its own with its own marker, and the client keeps its own.
TEST_F(ProgramTest, SingleInstanceBesideTheUsersRunningClient)
{
    QTemporaryDir clientRoot; // apart from the test's root, whose files the checks look for
    ASSERT_TRUE(clientRoot.isValid());
    for (const char* sub : { "home", "tmp", "data", "work" })
        ASSERT_TRUE(QDir(clientRoot.path()).mkpath(QString::fromLatin1(sub)));
    QProcess* client = startProgram(clientRoot.path(), false);
    // Up once it wrote its marker (or, when a client of this user already ran, once it ended as its secondary).
    ASSERT_TRUE(waitUntil(
        [&] { return probeMarker(Marker::UsersClient) == "okay" || client->state() == QProcess::NotRunning; },
        30000));
    EXPECT_EQ(probeMarker(Marker::UsersClient), QByteArray("okay"));
    EXPECT_EQ(probeMarker(), QByteArray()) << "the client took the test's own marker";

    checkMarkerAndShutdown();
    EXPECT_EQ(probeMarker(Marker::UsersClient), QByteArray("okay")) << "the test's program took the client's marker";
    if (client->state() != QProcess::NotRunning) {
        ::kill(pid_t(client->processId()), SIGTERM);
        ASSERT_TRUE(client->waitForFinished(60000));
        EXPECT_EQ(client->exitCode(), 0);
    }
}

// A request to end that comes while the program is still starting is held until the program can act on
// it, so the tear-down still runs.
TEST_F(ProgramTest, EndRequestedDuringStartUpStillTearsDown)
{
    QProcess* program = startProgram();
    // The admin writes its configuration as the framework comes up, long before the windows exist.
    ASSERT_TRUE(waitUntil([&] { return !findFile("Admin.conf").isEmpty(); }, 30000));
    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(60000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_TRUE(readFound("Admin.conf").contains("record.enable : 1\n"));
}

// The plug-in is looked up by its file name, first as a path (here: in the working folder).
TEST_F(ProgramTest, PluginIsLoadedStartedAndUninitialised)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral(PLUGIN), path("work") + QStringLiteral("/libMemvia.so")));
    QProcess* program = startProgram();
    ASSERT_TRUE(waitUntil(
        [&] { return readFound("Admin*.log").contains("BaseSingleApplication loaded modules count = 1"); },
        30000))
        << readFound("Admin*.log").constData();
    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(60000));
    EXPECT_EQ(program->exitCode(), 0);
    QFile record(path("plugin.log"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    // The main window's message box asks the plug-in for its frame (command 100) in between.
    const QByteArray calls = record.readAll();
    EXPECT_TRUE(calls.startsWith("init;start;")) << calls.constData();
    EXPECT_TRUE(calls.endsWith("uninit;")) << calls.constData();
}

} // namespace
