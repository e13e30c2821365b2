// The forwarder at process level: the service program, a publisher and two players, each a process of its
// own; both players must see the pattern intact for 5 s. Exits 0 on success.
//   webrtc_forwarder_process <tavicast-devservice> <webrtc_peer>
#include "support/free_port.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

pid_t start(const std::vector<std::string>& arguments, int* output = nullptr)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeEnds[2] = { -1, -1 };
    if (output) {
        if (pipe(pipeEnds) != 0)
            return -1;
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        close(pipeEnds[1]);
        *output = pipeEnds[0];
    }
    return pid;
}

// The exit status, or -1 when it did not end in time (it is then killed).
int finish(pid_t pid, std::chrono::seconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    finish(pid, std::chrono::seconds(10));
}

bool listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: webrtc_forwarder_process <tavicast-devservice> <webrtc_peer>\n");
        return 2;
    }
    const quint16 port = closedLoopbackPort();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const pid_t service = start({ argv[1], "--http", "--port", std::to_string(port) });
    for (int i = 0; i < 100 && !listening(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    int publisherOut = -1;
    const pid_t publisher = start({ argv[2], base, "publish", "40" }, &publisherOut);
    std::string line;
    char c = 0;
    while (read(publisherOut, &c, 1) == 1 && c != '\n')
        line += c;
    close(publisherOut);
    if (line.rfind("id=", 0) != 0) {
        std::fprintf(stderr, "webrtc_forwarder_process: the publisher did not publish\n");
        stop(publisher);
        stop(service);
        return 1;
    }
    const std::string id = line.substr(3);
    const pid_t first = start({ argv[2], base, "play", id, "5" });
    const pid_t second = start({ argv[2], base, "play", id, "5" });
    const int firstStatus = finish(first, std::chrono::seconds(60));
    const int secondStatus = finish(second, std::chrono::seconds(60));
    stop(publisher);
    stop(service);
    std::fprintf(stderr, "webrtc_forwarder_process: players ended with %d and %d\n", firstStatus, secondStatus);
    return firstStatus == 0 && secondStatus == 0 ? 0 : 1;
}
