#include <bridge/namedpipe.h>
#include <bridge/namedpipeserverhandler.h>
#include <bridge/winnamedpipe.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pi = bg::pi;

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);

// Pipe names are unique per process and test, so parallel runs never meet.
std::string uniqueName()
{
    static int counter = 0;
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    return "tavicast-test-" + std::to_string(getpid()) + "-" + test->name() + "-" + std::to_string(++counter);
}

// What a server's handler saw, for the test thread to wait on.
struct Inbox {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> texts;
    std::set<std::thread::id> threads;

    void add(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(mutex);
        texts.push_back(text);
        threads.insert(std::this_thread::get_id());
        changed.notify_all();
    }

    bool waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, kDeadline, [&] { return texts.size() >= count; });
    }
};

// Reads one framed message, or the text of the error it failed with.
void readStringHandler(pi::INamedPipe* connection, void* context)
{
    std::string text;
    try {
        text = connection->ReadString();
    } catch (const std::exception& error) {
        text = std::string("error: ") + error.what();
    }
    pi::destroy_pipe_client(&connection);
    static_cast<Inbox*>(context)->add(text);
}

// Reads the first 9 raw bytes as hex.
void rawBytesHandler(pi::INamedPipe* connection, void* context)
{
    uint8_t bytes[9];
    connection->Read(bytes, 9);
    std::string hex;
    for (uint8_t byte : bytes) {
        char digits[4];
        snprintf(digits, sizeof digits, "%02x ", byte);
        hex += digits;
    }
    pi::destroy_pipe_client(&connection);
    static_cast<Inbox*>(context)->add(hex);
}

struct ServerDeleter {
    void operator()(pi::INamedPipeServer* server) const { pi::destroy_pipe_server(&server); }
};
using ServerPtr = std::unique_ptr<pi::INamedPipeServer, ServerDeleter>;

struct PipeDeleter {
    void operator()(pi::INamedPipe* pipe) const { pi::destroy_pipe_client(&pipe); }
};
using PipePtr = std::unique_ptr<pi::INamedPipe, PipeDeleter>;

std::string thrownText(const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "nothing thrown";
}

} // namespace

TEST(NamedPipe, MessageTravelsAsLittleEndianLengthAndBytes)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 1, rawBytesHandler, &inbox));
    ASSERT_NE(server, nullptr);
    ASSERT_TRUE(pi::client_pipe_send(name.c_str(), "hello"));
    ASSERT_TRUE(inbox.waitFor(1));
    EXPECT_EQ(inbox.texts[0], "05 00 00 00 68 65 6c 6c 6f ");
}

TEST(NamedPipe, ReadStringReturnsExactlyTheText)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    const std::string binary("a\0b\xff\n", 5);
    const std::string large(100000, 'x');
    for (const std::string& text : { std::string("hello"), binary, large })
        ASSERT_TRUE(pi::client_pipe_send(name.c_str(), text));
    ASSERT_TRUE(inbox.waitFor(3));
    EXPECT_EQ(inbox.texts[0], "hello");
    EXPECT_EQ(inbox.texts[1], binary);
    EXPECT_EQ(inbox.texts[2], large);
}

TEST(NamedPipe, BadLengthsAreRefusedByTheReader)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    const int32_t lengths[] = { pi::MaxPipeMessage + 1, 0, -5 };
    for (int32_t length : lengths) {
        PipePtr client(pi::create_pipe_client(name.c_str()));
        client->Open();
        client->Write(&length, sizeof length);
        client->Close();
    }
    ASSERT_TRUE(inbox.waitFor(3));
    std::multiset<std::string> seen(inbox.texts.begin(), inbox.texts.end());
    EXPECT_EQ(seen.count("error: message too long (16777217 bytes)"), 1u);
    EXPECT_EQ(seen.count("error: Size is 0 or less"), 2u);
}

TEST(NamedPipe, TwoWorkersHandleEveryMessageOnce)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 2, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);

    constexpr int kClients = 4;
    constexpr int kMessages = 25;
    std::vector<std::thread> clients;
    std::mutex failedMutex;
    int failed = 0;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int m = 0; m < kMessages; ++m) {
                if (!pi::client_pipe_send(name.c_str(), std::to_string(c) + "/" + std::to_string(m))) {
                    std::lock_guard<std::mutex> guard(failedMutex);
                    ++failed;
                }
            }
        });
    }
    for (auto& thread : clients)
        thread.join();
    ASSERT_EQ(failed, 0);
    ASSERT_TRUE(inbox.waitFor(kClients * kMessages));
    server.reset();

    std::map<std::string, int> counts;
    for (const std::string& text : inbox.texts)
        ++counts[text];
    EXPECT_EQ(counts.size(), size_t(kClients * kMessages));
    for (const auto& entry : counts)
        EXPECT_EQ(entry.second, 1) << entry.first;
    EXPECT_LE(inbox.threads.size(), 2u);
}

TEST(NamedPipe, SendFailsWithoutListenerOrText)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(pi::client_pipe_send(uniqueName().c_str(), ""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(pi::client_pipe_send(uniqueName().c_str(), "hi"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[pipe] err: Could not open pipe, GLE=111\n");
}

TEST(NamedPipe, SecondListenerOnANameIsRefused)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr first(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox));
    ASSERT_NE(first, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[pipe] err: CreateNamedPipe failed, GLE=98\n");

    // Stopped, the name is free again; started again, the server serves again.
    first->Stop();
    EXPECT_FALSE(pi::client_pipe_send(name.c_str(), "while stopped"));
    first->Start();
    ASSERT_TRUE(pi::client_pipe_send(name.c_str(), "again"));
    ASSERT_TRUE(inbox.waitFor(1));
    EXPECT_EQ(inbox.texts[0], "again");
}

TEST(NamedPipe, ServerWithoutWorkersKeepsConnectionsUntilDestroyed)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 0, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    EXPECT_TRUE(pi::client_pipe_send(name.c_str(), "queued"));
    EXPECT_TRUE(pi::client_pipe_send(name.c_str(), "queued too"));
    server.reset();
    EXPECT_TRUE(inbox.texts.empty());
}

// A client that connects and then stays silent holds a worker in its handler's read: stopping the server
// ends that read instead of waiting for the client.
TEST(NamedPipe, StopEndsHandlersWaitingForSilentClients)
{
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 2, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    PipePtr silent(pi::create_pipe_client(name.c_str()));
    silent->Open();
    PipePtr other(pi::create_pipe_client(name.c_str()));
    other->Open();
    // Both connections are with their handlers once the server has accepted them; give it a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto start = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_TRUE(inbox.waitFor(2));
    for (const std::string& text : inbox.texts)
        EXPECT_EQ(text.rfind("error: ", 0), 0u) << text;
    server.reset();
}

// With no worker free, the server holds only a bounded number of accepted connections; the rest wait in
// the system's backlog. Each accepted connection is one more open descriptor of this process.
TEST(NamedPipe, WaitingConnectionsAreBounded)
{
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const std::string name = uniqueName();
    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 0, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    const long before = long(openDescriptors());
    constexpr long kClients = long(pi::NamedPipeServerHandler::MaxPendingConnections) + 40;
    std::vector<PipePtr> clients;
    for (long i = 0; i < kClients; ++i) {
        clients.emplace_back(pi::create_pipe_client(name.c_str()));
        clients.back()->Open();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long accepted = long(openDescriptors()) - before - kClients;
    EXPECT_LE(accepted, long(pi::NamedPipeServerHandler::MaxPendingConnections)) << "accepted " << accepted;
    server.reset();
}

TEST(NamedPipe, MisuseOfEndsThrowsItsStep)
{
    const std::string name = uniqueName();
    pi::WinNamedPipe listening(pi::PipePathPrefix + name, true);
    listening.Open();
    char byte = 0;
    EXPECT_EQ(
        thrownText([&] { listening.Read(&byte, 1); }), "This operation is not supported on server pipe");
    EXPECT_EQ(
        thrownText([&] { listening.WriteString("x"); }), "This operation is not supported on server pipe");

    pi::WinNamedPipe client(pi::PipePathPrefix + name, false);
    EXPECT_EQ(thrownText([&] { client.AsyncWaitForConnection(1); }),
        "WaitForConnection is not supported on client pipe\n");
    client.Open();
    EXPECT_THROW(client.Read(&byte, 0), std::out_of_range);
    EXPECT_THROW(client.Write(&byte, -1), std::out_of_range);
    EXPECT_EQ(client.WriteString(""), 0);

    // The server side of the connection, closed: the client's next read sees the peer gone.
    PipePtr accepted(listening.AsyncWaitForConnection(5000));
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(accepted->WriteString("ok"), 2);
    EXPECT_EQ(client.ReadString(), "ok");
    accepted.reset();
    EXPECT_EQ(thrownText([&] { client.Read(&byte, 1); }), "pipe disconnected, GLE=32");
}

TEST(NamedPipe, WaitForConnectionTimesOutAndStaysUsable)
{
    const std::string name = uniqueName();
    pi::WinNamedPipe listening(pi::PipePathPrefix + name, true);
    listening.Open();
    EXPECT_EQ(listening.AsyncWaitForConnection(20), nullptr);

    PipePtr client(pi::create_pipe_client(name.c_str()));
    client->Open();
    PipePtr accepted(listening.WaitForConnection());
    ASSERT_NE(accepted, nullptr);
    client->WriteString("after timeout");
    EXPECT_EQ(accepted->ReadString(), "after timeout");
}

TEST(NamedPipe, SetupSingleApp)
{
    const std::string name = uniqueName();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);

    // The children are forked before any server thread exists.
    const pid_t alone = fork();
    ASSERT_GE(alone, 0);
    if (alone == 0) {
        pi::setup_single_app((name + "-none").c_str(), "nobody listens");
        _exit(7);
    }
    const pid_t second = fork();
    ASSERT_GE(second, 0);
    if (second == 0) {
        char go;
        if (read(ready[0], &go, 1) != 1)
            _exit(3);
        pi::setup_single_app(name.c_str(), "--show");
        _exit(4);
    }

    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(write(ready[1], "g", 1), 1);

    int status = 0;
    ASSERT_EQ(waitpid(alone, &status, 0), alone);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "returned to start the app";
    ASSERT_EQ(waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ended because an instance listens";
    ASSERT_TRUE(inbox.waitFor(1));
    EXPECT_EQ(inbox.texts[0], "--show");
    close(ready[0]);
    close(ready[1]);
}

TEST(NamedPipe, PeersOfAnotherAccountAreRefused)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to act as another account";
    const std::string name = uniqueName();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);

    // Forked before any server thread exists; the child sends as the "nobody" account.
    const pid_t stranger = fork();
    ASSERT_GE(stranger, 0);
    if (stranger == 0) {
        char go;
        if (read(ready[0], &go, 1) != 1 || setuid(65534) != 0)
            _exit(3);
        if (pi::client_pipe_send(name.c_str(), "from a stranger"))
            _exit(1);
        // A raw client that skips the check: the server must drop it.
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const std::string path = pi::PipePathPrefix + name;
        memcpy(address.sun_path + 1, path.data(), path.size());
        const int raw = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(raw, reinterpret_cast<sockaddr*>(&address),
                socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size()))
            != 0)
            _exit(4);
        const char frame[] = "\x03\0\0\0raw";
        // The server may have dropped the connection already.
        (void)!send(raw, frame, sizeof frame - 1, MSG_NOSIGNAL);
        close(raw);
        _exit(0);
    }

    Inbox inbox;
    ServerPtr server(pi::srv_listen_pipe(name.c_str(), 1, readStringHandler, &inbox));
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(write(ready[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(stranger, &status, 0), stranger);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the stranger's send failed, status " << status;

    ASSERT_TRUE(pi::client_pipe_send(name.c_str(), "own account"));
    ASSERT_TRUE(inbox.waitFor(1));
    EXPECT_EQ(inbox.texts, std::vector<std::string> { "own account" });
    close(ready[0]);
    close(ready[1]);
}
