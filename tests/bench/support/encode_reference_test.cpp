#include "support/encode_reference.h"

#include <capture/testpattern.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string tempPath(const char* name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + std::to_string(::getpid());
}

// The loop file holds the pictures in order, as I420 with the pattern's colours where they belong.
TEST(EncodeReference, WritesThePatternAsI420Pictures)
{
    const std::string path = tempPath("pattern-loop-");
    std::string error;
    ASSERT_TRUE(hostcost::writePatternLoop(path, 64, 48, 3, error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    const size_t picture = 64 * 48 * 3 / 2;
    ASSERT_EQ(bytes.size(), 3 * picture);

    // Top-left quadrant's luma, from its colour; the number band of picture 0 is all "zero" blocks.
    const capture::testpattern::Rgb red = capture::testpattern::quadrantColour(0);
    const int expectedY = (66 * red.r + 129 * red.g + 25 * red.b + 128) / 256 + 16;
    EXPECT_NEAR(uint8_t(bytes[0]), expectedY, 1);
    const int bandRow = capture::testpattern::bandTop(48);
    EXPECT_NEAR(uint8_t(bytes[size_t(bandRow) * 64 + 63]), (66 + 129 + 25) * 16 / 256 + 16, 2);
    // Picture 1 carries number 1: its last block is a "one".
    EXPECT_GT(uint8_t(bytes[picture + size_t(bandRow) * 64 + 63]), 200);

    EXPECT_FALSE(hostcost::writePatternLoop("/nonexistent-dir/loop", 64, 48, 1, error));
    EXPECT_NE(error.find("/nonexistent-dir/loop"), std::string::npos);
}

TEST(EncodeReference, PipelineUsesThePublishersEncoder)
{
    zovwebrtc::PublisherSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.fps = 30;
    std::string pipeline;
    for (const std::string& arg : hostcost::referencePipeline(settings, "/tmp/a loop"))
        pipeline += arg + ' ';
    EXPECT_EQ(pipeline.rfind("multifilesrc location=/tmp/a loop loop=true ! ", 0), 0u) << pipeline;
    EXPECT_NE(pipeline.find("width=1280 height=720 framerate=30/1"), std::string::npos) << pipeline;
    EXPECT_NE(pipeline.find(" ! " + zovwebrtc::vp8EncoderDescription(settings) + " ! "), std::string::npos)
        << pipeline;
}

// The pipeline runs, encodes (it uses CPU) and is sampled; stopping it removes its loop file.
TEST(EncodeReference, RunsUntilStoppedAndIsSampled)
{
    zovwebrtc::PublisherSettings settings; // the publisher's VP8 settings, at a small size
    settings.width = 320;
    settings.height = 240;
    settings.fps = 15;
    hostcost::ReferenceEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(settings, error)) << error;
    const pid_t pid = encoder.pid();
    ASSERT_GT(pid, 0);

    procstats::Sampler sampler(pid, 200);
    sampler.start();
    ::usleep(1500 * 1000);
    sampler.stop();
    EXPECT_EQ(::kill(pid, 0), 0) << "still encoding";
    const std::vector<procstats::Sample> samples = sampler.samples();
    ASSERT_GE(samples.size(), 3u);
    const hostcost::Cost cost = hostcost::costBetween(samples, 0.2, 1e9);
    EXPECT_GT(cost.cpuShare, 0);
    EXPECT_GT(cost.rssFromKb, 0);
    EXPECT_EQ(cost.rssToKb, samples.back().rssKb) << "past the run: its last sample";

    encoder.stop();
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(EncodeReference, CostBetweenPicksTheWindowsSamples)
{
    const std::vector<procstats::Sample> samples = {
        { 0, 1.0, 1000 },
        { 60, 31.0, 1100 },
        { 120, 61.0, 1150 },
        { 300, 151.0, 1155 },
    };
    const hostcost::Cost cost = hostcost::costBetween(samples, 60, 300);
    EXPECT_DOUBLE_EQ(cost.cpuShare, 0.5);
    EXPECT_EQ(cost.rssFromKb, 1100);
    EXPECT_EQ(cost.rssToKb, 1155);
    EXPECT_DOUBLE_EQ(cost.rssGrowth(), 55.0 / 1100.0);
    EXPECT_EQ(hostcost::costBetween({}, 0, 1).cpuShare, 0);
}

} // namespace
