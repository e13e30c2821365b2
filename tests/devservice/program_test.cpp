#include <korvex/zovnet.h>

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

TEST(DevServiceProgram, HelpDescribesTheOptions)
{
    QProcess program;
    program.start(DEVSERVICE_PROGRAM, { "--help" });
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    const QString help = QString::fromUtf8(program.readAllStandardOutput());
    for (const char* option : { "--http", "--port", "--ca-file", "TAVICAST_CA_FILE" }) {
        SCOPED_TRACE(option);
        EXPECT_TRUE(help.contains(option));
    }
}

// The program prints where it listens, answers there, and ends cleanly on SIGTERM.
TEST(DevServiceProgram, ServesUntilTerminated)
{
    QProcess program;
    program.start(DEVSERVICE_PROGRAM, { "--http" });
    ASSERT_TRUE(program.waitForStarted(30000));
    QByteArray output;
    while (!output.contains('\n') && program.waitForReadyRead(30000))
        output += program.readAllStandardOutput();
    const QByteArray prefix = "base URL: ";
    ASSERT_TRUE(output.startsWith(prefix)) << output.toStdString();
    const std::string base = output.mid(prefix.size(), output.indexOf('\n') - prefix.size()).toStdString();
    EXPECT_EQ(base.rfind("http://127.0.0.1:", 0), 0u);

    const Zov_Client::ZovResponse response = Zov_Client::ZovNet(base).post("/no/such/path", "{}");
    EXPECT_EQ(response.status, 404);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}
