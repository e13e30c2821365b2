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

// One file a picture, in order, as I420 with the pattern's colours where they belong.
TEST(EncodeReference, WritesThePatternAsI420Pictures)
{
    std::string folder = tempPath("pattern-frames-") + ".XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    std::string error;
    const bool written = hostcost::writePatternFrames(folder, 64, 48, 3, error);
    std::vector<std::string> pictures;
    for (int number = 0; number < 4; ++number) {
        const std::string path = hostcost::frameFile(folder, number);
        std::ifstream in(path, std::ios::binary);
        pictures.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::remove(path.c_str());
    }
    ::rmdir(folder.c_str());
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(hostcost::frameFile("/f", 7), "/f/frame-007.i420");
    const size_t picture = 64 * 48 * 3 / 2;
    for (int number = 0; number < 3; ++number)
        ASSERT_EQ(pictures[size_t(number)].size(), picture) << number;
    EXPECT_TRUE(pictures[3].empty()) << "no picture beyond the count";

    // Top-left quadrant's luma, from its colour; the number band of picture 0 is all "zero" blocks.
    const capture::testpattern::Rgb red = capture::testpattern::quadrantColour(0);
    const int expectedY = (66 * red.r + 129 * red.g + 25 * red.b + 128) / 256 + 16;
    EXPECT_NEAR(uint8_t(pictures[0][0]), expectedY, 1);
    const size_t bandLast = size_t(capture::testpattern::bandTop(48)) * 64 + 63;
    EXPECT_NEAR(uint8_t(pictures[0][bandLast]), (66 + 129 + 25) * 16 / 256 + 16, 2);
    // Picture 1 carries number 1: its last block is a "one".
    EXPECT_GT(uint8_t(pictures[1][bandLast]), 200);

    EXPECT_FALSE(hostcost::writePatternFrames("/nonexistent-dir", 64, 48, 1, error));
    EXPECT_NE(error.find("/nonexistent-dir/frame-000.i420"), std::string::npos) << error;
}

TEST(EncodeReference, PipelineUsesThePublishersEncoder)
{
    zovwebrtc::PublisherSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.fps = 30;
    std::string pipeline;
    const std::vector<std::string> args = hostcost::referencePipeline(settings, "/tmp/a folder", 60);
    for (const std::string& arg : args)
        pipeline += arg + ' ';
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[1], "location=/tmp/a folder/frame-%03d.i420") << "one argument, spaces and all";
    EXPECT_NE(pipeline.find(" index=0 stop-index=59 loop=true ! "), std::string::npos) << pipeline;
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
    const std::string folder = encoder.folder();
    struct stat info { };
    EXPECT_EQ(::stat(hostcost::frameFile(folder, 29).c_str(), &info), 0) << "two seconds of pictures";

    procstats::Sampler sampler(pid, 200);
    sampler.start();
    // At least 1.5 s; on a loaded machine the pipeline may wait for a CPU before it spends a clock tick.
    for (int waited = 0; waited < 30000; waited += 100) {
        ::usleep(100 * 1000);
        const std::vector<procstats::Sample> sofar = sampler.samples();
        if (waited >= 1500 && sofar.size() >= 3 && hostcost::costBetween(sofar, 0.2, 1e9).cpuShare > 0)
            break;
    }
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
    EXPECT_NE(::stat(folder.c_str(), &info), 0) << "its pictures go with it";
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
