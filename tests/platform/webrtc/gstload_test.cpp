// This program links the WebRTC layer but not GStreamer: the engine opens GStreamer when first made, and a
// factory of the built-in engine when its first connection is asked for.
#include <zovwebrtc/gstengine.h>
#include <zovwebrtc/zovwebrtc.h>

#include "support/openssl_exit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

bool gstreamerMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libgstreamer-1.0.so") != std::string::npos;
}

// The program makes its factory with its meeting window: a start that never connects does not load GStreamer.
TEST(GstEngineLoading, FactoryOpensGStreamerWithItsFirstConnection)
{
    ASSERT_FALSE(gstreamerMapped()) << "GStreamer came with the program";
    zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory(nullptr);
    EXPECT_FALSE(gstreamerMapped()) << "GStreamer came with the factory";

    zovwebrtc::peer_connection_callbacks callbacks {};
    std::atomic<zovwebrtc::peer_connection*> connection { factory->create_peer_connection(
        factory->handle, nullptr, &callbacks) };
    EXPECT_TRUE(gstreamerMapped());
    EXPECT_NE(connection.load(), nullptr) << "GStreamer or its webrtcbin is missing";

    zovwebrtc::destroy_peer_connection(&connection);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (connection.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(connection.load(), nullptr) << "the connection never closed";
    zovwebrtc::destroy_peer_connection_factory(&factory);
}

TEST(GstEngineLoading, GStreamerIsOpenedWhenTheFirstEngineIsMade)
{
    ASSERT_FALSE(gstreamerMapped()) << "GStreamer came with the program";
    const std::shared_ptr<zovwebrtc::Engine> engine = zovwebrtc::createGstEngine();
    EXPECT_TRUE(gstreamerMapped());
    EXPECT_NE(engine, nullptr) << "GStreamer or its webrtcbin is missing";
}

} // namespace

// GStreamer's streaming threads use OpenSSL and can end while the process exits; OpenSSL's own exit handler
// would free their state a second time. A process with the WebRTC layer has none, also once another library
// (libcurl, Qt) starts OpenSSL later.
TEST(GstEngineLoadingDeathTest, OpenSslHasNoExitHandler)
{
    EXPECT_EXIT(openssltest::startOpenSslAndExit(), testing::ExitedWithCode(0), openssltest::noCleanUpAtExit());
}
