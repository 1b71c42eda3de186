// The scan that both the file information and the join's totals rest on, judged against ffprobe.
#include "engines/conversion/media_scan.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/media_fixtures.h"

namespace {

using kjtest::CountPackets;
using kjtest::MakeWithFfmpeg;
using kjtest::TempDir;

TEST(MediaScan, CountsFramesAndSamplesOfAnMpeg1SystemStream) {
    TempDir dir;
    std::string path = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(
        MakeWithFfmpeg("-f lavfi -i testsrc=size=352x288:rate=25:duration=2.2 -f lavfi "
                       "-i sine=frequency=440:sample_rate=44100:duration=2.2 "
                       "-target pal-vcd",
                       path, &error))
        << error;
    MediaScan scan;
    std::vector<double> percents;
    ASSERT_EQ(ScanMedia(
                  path, &scan, [&](double p) { percents.push_back(p); }, &error),
              0)
        << error;
    EXPECT_EQ(scan.formatName, "MPEG-1");
    EXPECT_EQ(scan.videoCodec, "mpeg1video");
    EXPECT_EQ(scan.frameCount, CountPackets(path, "v:0"));
    EXPECT_EQ(scan.width, 352);
    EXPECT_EQ(scan.height, 288);
    EXPECT_DOUBLE_EQ(scan.frameRate, 25.0);
    EXPECT_NEAR(scan.duration, 2.2, 0.05);
    EXPECT_TRUE(scan.hasAudio);
    EXPECT_EQ(scan.audioCodec, "mp2");
    EXPECT_EQ(scan.audioSampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(scan.audioSampleCount), 2.2 * 44100, 1152 * 2);
    ASSERT_FALSE(percents.empty());
    EXPECT_GE(percents.back(), 99.0);
}

TEST(MediaScan, ANonMediaFileIsAnErrorWithAReason) {
    TempDir dir;
    std::string path = dir.File("text.avi");
    kjtest::WriteFileBytes(path, std::vector<uint8_t>(1000, 'x'));
    MediaScan scan;
    std::string error;
    EXPECT_LT(ScanMedia(path, &scan, nullptr, &error), 0);
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

}  // namespace
