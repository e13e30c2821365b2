#include <korvex/zovnet.h>

#include <json/reader.h>

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

// The program prints where it listens, answers there, shows its state, and ends cleanly on SIGTERM.
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

    // Its state page, with the request above in the record.
    const Zov_Client::ZovResponse state = Zov_Client::ZovNet(base).get("/service/state");
    ASSERT_EQ(state.status, 200) << state.body;
    Json::Value page;
    ASSERT_TRUE(Json::Reader().parse(state.body, page)) << state.body;
    for (const char* section : { "meetings", "chat_rooms", "streams", "requests" })
        EXPECT_TRUE(page["result"][section].isArray()) << section << ": " << state.body;
    ASSERT_EQ(page["result"]["requests"].size(), 1u) << state.body;
    EXPECT_EQ(page["result"]["requests"][0]["path"], "/no/such/path");

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}
