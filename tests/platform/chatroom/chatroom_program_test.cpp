// tavicast-devservice serves the chat rooms over HTTPS and wss, and prints none of their secrets.
#include "chatroom_harness.h"

#include <QProcess>

#include <csignal>

using namespace chattest;

TEST(ChatRoomProgram, ServesRoomsOverHttpsAndWss)
{
    QProcess program;
    program.start(DEVSERVICE_PROGRAM, QStringList());
    ASSERT_TRUE(program.waitForStarted(30000));
    QByteArray output;
    while (output.count('\n') < 2 && program.waitForReadyRead(30000))
        output += program.readAllStandardOutput();
    const QList<QByteArray> lines = output.split('\n');
    ASSERT_GE(lines.size(), 2);
    ASSERT_TRUE(lines[0].startsWith("base URL: https://127.0.0.1:")) << output.toStdString();
    ASSERT_TRUE(lines[1].startsWith("CA file: ")) << output.toStdString();
    const std::string base = lines[0].mid(10).toStdString();
    ScopedEnv trust("TAVICAST_CA_FILE", lines[1].mid(9).toStdString());
    cr::setEndpointProvider([&] { return cr::Endpoints { base, "wss" + base.substr(5) + "/chat" }; });

    const std::string password = "program-room-pw";
    std::vector<std::string> secrets { password };
    Member host;
    Member guest;
    std::string error;
    const std::string roomId = host.room->createRoom({ "ZovMeeting", "Teacher", password, 4 }, error);
    ASSERT_FALSE(roomId.empty()) << error;
    for (Member* m : { &host, &guest }) {
        ASSERT_TRUE(m->room->joinRoom(roomId, 0, password, m->joined, error)) << error;
        secrets.push_back(m->joined.token);
        ASSERT_TRUE(m->room->wsConnect(
            roomId, m->joined.token, m == &host ? "主持人" : "guest", m->joined.memberId, "", true));
        ASSERT_TRUE(waitFor([&] { return m->callback.count("peers") == 1; }));
    }
    ASSERT_TRUE(guest.room->sendText("over wss"));
    ASSERT_TRUE(waitFor([&] { return host.callback.count("text") == 1; }));
    ASSERT_TRUE(host.room->disposeRoom(roomId, password, host.joined.token, error)) << error;
    ASSERT_TRUE(waitFor([&] { return guest.callback.count("disconnected") == 1; }));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    output += program.readAllStandardOutput() + program.readAllStandardError();
    EXPECT_NE(output.indexOf("/chat/room/join"), -1) << "the program logs each request's path";
    for (const std::string& secret : secrets)
        EXPECT_EQ(output.indexOf(secret.c_str()), -1) << output.toStdString();
    cr::setEndpointProvider(nullptr);
}
