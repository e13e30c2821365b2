// This program links the WebRTC layer but not GStreamer: the engine opens GStreamer when first made.
#include <zovwebrtc/gstengine.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

bool gstreamerMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libgstreamer-1.0.so") != std::string::npos;
}

TEST(GstEngineLoading, GStreamerIsOpenedWhenTheFirstEngineIsMade)
{
    ASSERT_FALSE(gstreamerMapped()) << "GStreamer came with the program";
    const std::shared_ptr<zovwebrtc::Engine> engine = zovwebrtc::createGstEngine();
    EXPECT_TRUE(gstreamerMapped());
    EXPECT_NE(engine, nullptr) << "GStreamer or its webrtcbin is missing";
}

} // namespace
