// The configuration, factory and connection records over an engine: words reach the engine with their
// arguments, the description is copied like snprintf, and closing clears the owner's slot last, with no call
// reaching the engine after close.
#include <zovwebrtc/scriptedengine.h>
#include <zovwebrtc/zovwebrtc.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

using namespace zovwebrtc;

class RecordsTest : public ::testing::Test {
protected:
    void TearDown() override { setDefaultEngine(nullptr); }

    // A connection of a fresh factory over the engine, configured with words 1 and 2 as given.
    peer_connection* connect(std::shared_ptr<Engine> engine, int singleTransport = 1, int hostOnly = 1)
    {
        peer_connection_factory* factory = create_peer_connection_factory(std::move(engine));
        rtc_configuration* configuration = create_rtc_configuration();
        configuration->set_single_transport(configuration->handle, singleTransport);
        configuration->set_host_candidates_only(configuration->handle, hostOnly);
        peer_connection* connection
            = factory->create_peer_connection(factory->handle, configuration, &m_callbacks);
        destroy_rtc_configuration(&configuration);
        EXPECT_EQ(configuration, nullptr);
        destroy_peer_connection_factory(&factory); // connections outlive their factory
        EXPECT_EQ(factory, nullptr);
        return connection;
    }

    peer_connection_callbacks m_callbacks {};
};

TEST_F(RecordsTest, NullFactoryArgumentTakesTheDefaultEngine)
{
    // Without a test engine, the built-in one.
    EXPECT_EQ(std::dynamic_pointer_cast<ScriptedEngine>(defaultEngine()), nullptr);

    auto engine = std::make_shared<ScriptedEngine>();
    setDefaultEngine(engine);
    std::atomic<peer_connection*> connection { connect(nullptr) };
    ASSERT_NE(connection.load(), nullptr);
    EXPECT_EQ(engine->connectionCount(), 1);
    destroy_peer_connection(&connection);
    ASSERT_TRUE(engine->waitIdle(0));
    EXPECT_EQ(connection.load(), nullptr);

    setDefaultEngine(nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<ScriptedEngine>(defaultEngine()), nullptr);
}

TEST_F(RecordsTest, WordsReachTheEngineWithTheirArguments)
{
    auto engine = std::make_shared<ScriptedEngine>();
    ConnectionScript refused;
    refused.refuse = true;
    engine->expectConnection(refused);
    EXPECT_EQ(connect(engine, 0, 0), nullptr);

    std::atomic<peer_connection*> slot { connect(engine) };
    peer_connection* c = slot.load();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->reserved1, nullptr);
    c->add_audio_track(c->handle, true);
    c->add_camera_track(c->handle, "/dev/v4l/by-id/cam", 640, 480, 30);
    c->create_offer(c->handle, false, true);
    c->forward(c->handle, 3, 4);
    c->set_remote_description(c->handle, "answer", "v=0\r\n");

    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        { "createConnection", { "transportPerKind", "anyCandidates" } },
        { "createConnection", { "singleTransport", "hostCandidatesOnly" } },
        { "addAudioTrack", { "true" } },
        { "addCameraTrack", { "/dev/v4l/by-id/cam", "640", "480", "30" } },
        { "createOffer", { "false", "true" } },
        { "forward", { "3", "4" } },
        { "setRemoteDescription", { "answer", "v=0\r\n" } },
    };
    const auto calls = engine->calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, expected[i].first);
        EXPECT_EQ(calls[i].arguments, expected[i].second) << calls[i].name;
        EXPECT_EQ(calls[i].thread, std::this_thread::get_id());
        EXPECT_EQ(calls[i].connection, i == 0 ? 0 : 1);
    }

    destroy_peer_connection(&slot);
    ASSERT_TRUE(engine->waitIdle(1));
    EXPECT_EQ(slot.load(), nullptr);
    EXPECT_EQ(engine->calls("close").size(), 1u);
}

TEST_F(RecordsTest, WordsDoNothingOnceCloseHasStarted)
{
    auto engine = std::make_shared<ScriptedEngine>();
    ConnectionScript script;
    script.close = CloseMode::Never; // keeps the record alive
    script.localDescription = "v=0";
    engine->expectConnection(script);
    std::atomic<peer_connection*> slot { connect(engine) };
    peer_connection* c = slot.load();
    ASSERT_NE(c, nullptr);
    destroy_peer_connection(&slot);
    c->add_audio_track(c->handle, false);
    c->create_offer(c->handle, true, true);
    c->forward(c->handle, 1, 2);
    c->set_remote_description(c->handle, "answer", "v=0");
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(c->get_local_description(c->handle, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    const auto calls = engine->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls.back().name, "close");
    EXPECT_EQ(slot.load(), c);
}

TEST_F(RecordsTest, LocalDescriptionIsCopiedLikeSnprintf)
{
    auto engine = std::make_shared<ScriptedEngine>();
    ConnectionScript script;
    script.localDescription = "v=0 abc"; // 7 bytes
    engine->expectConnection(script);
    std::atomic<peer_connection*> slot { connect(engine) };
    peer_connection* c = slot.load();
    ASSERT_NE(c, nullptr);

    const struct {
        int size;
        const char* text;
    } cases[] = { { 1, "" }, { 4, "v=0" }, { 7, "v=0 ab" }, { 8, "v=0 abc" }, { 64, "v=0 abc" } };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.size);
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c->get_local_description(c->handle, buffer, row.size), 7);
        EXPECT_STREQ(buffer, row.text);
        EXPECT_EQ(buffer[row.size], 'x') << "nothing written past the size";
    }
    EXPECT_EQ(c->get_local_description(c->handle, nullptr, 0), 7);
    char untouched = 'x';
    EXPECT_EQ(c->get_local_description(c->handle, &untouched, 0), 7);
    EXPECT_EQ(untouched, 'x');
    destroy_peer_connection(&slot);
    engine->waitIdle(0);
}

TEST_F(RecordsTest, CloseClearsTheSlotAsItsLastAction)
{
    struct Row {
        const char* name;
        CloseMode mode;
        bool clearedOnReturn;
    } rows[] = { { "immediately", CloseMode::Immediately, true }, { "later", CloseMode::Later, false } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto engine = std::make_shared<ScriptedEngine>();
        ConnectionScript script;
        script.close = row.mode;
        script.closeDelay = std::chrono::milliseconds(50);
        engine->expectConnection(script);
        m_callbacks.state_changed
            = [](int, void* user) { static_cast<std::atomic<int>*>(user)->fetch_add(1); };
        std::atomic<int> states { 0 };
        m_callbacks.user = &states;
        std::atomic<peer_connection*> slot { connect(engine) };
        ASSERT_NE(slot.load(), nullptr);
        // Steps played before the close all run before it; none after.
        engine->play(0, { ScriptStep::pause(20), ScriptStep::state(kStateConnected) });

        std::atomic<bool> slotAtClose { false };
        std::thread::id closeThread;
        engine->setCloseHook([&](int) {
            slotAtClose = slot.load() != nullptr;
            closeThread = std::this_thread::get_id();
        });
        destroy_peer_connection(&slot);
        destroy_peer_connection(&slot); // a second call is left alone
        EXPECT_FALSE(engine->play(0, { ScriptStep::state(kStateLost) }));
        EXPECT_EQ(slot.load() == nullptr, row.clearedOnReturn);
        ASSERT_TRUE(engine->waitIdle(0));
        EXPECT_EQ(slot.load(), nullptr);
        EXPECT_TRUE(slotAtClose);
        EXPECT_EQ(closeThread == std::this_thread::get_id(), row.mode == CloseMode::Immediately);
        EXPECT_EQ(states, 1);
        EXPECT_EQ(engine->calls("close").size(), 1u);
    }
}

} // namespace
