// The judges themselves: a file they pass must be sound and a broken one must be caught, or
// every join test that leans on them proves nothing.
#include "tests/support/output_judge.h"

#include <gtest/gtest.h>

#include "tests/support/media_fixtures.h"

namespace {

class OutputJudge : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        std::string error;
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(
            "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=frequency=440 -t 2 "
            "-c:v mpeg4 -g 10 -c:a libmp3lame -b:a 64k",
            s_dir->File("good.avi"), &error))
            << error;
        // The same file with its middle overwritten by a repeating pattern.
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(s_dir->File("good.avi"));
        for (size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; ++i) {
            bytes[i] = static_cast<uint8_t>(i * 37);
        }
        ASSERT_TRUE(kjtest::WriteFileBytes(s_dir->File("damaged.avi"), bytes));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static kjtest::TempDir* s_dir;
};

kjtest::TempDir* OutputJudge::s_dir = nullptr;

TEST_F(OutputJudge, PassesASoundFileAndCatchesADamagedOne) {
    const std::string good = s_dir->File("good.avi");
    const std::string damaged = s_dir->File("damaged.avi");
    EXPECT_EQ(kjtest::DecodeErrors(good), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(good), "");
    EXPECT_EQ(kjtest::MpvWarnings(good), "");
    EXPECT_EQ(kjtest::SeekDecodeErrors(good, 1.0), "");
    EXPECT_NE(kjtest::DecodeErrors(damaged), "");
    EXPECT_NE(kjtest::MpvWarnings(damaged) + kjtest::GstPlaybackFailure(damaged), "");
}

TEST_F(OutputJudge, ReadsEveryPacketWithItsTimeAndHash) {
    const std::string good = s_dir->File("good.avi");
    auto video = kjtest::ProbePackets(good, "v:0");
    ASSERT_EQ(static_cast<int64_t>(video.size()), kjtest::CountPackets(good, "v:0"));
    ASSERT_EQ(video.size(), 50u);
    EXPECT_TRUE(video[0].key);
    EXPECT_FALSE(video[1].key);
    EXPECT_NEAR(video[26].pts - video[25].pts, 0.04, 1e-6);
    EXPECT_NEAR(video[25].duration, 0.04, 1e-6);
    EXPECT_EQ(video[0].md5.size(), 32u);
    EXPECT_NE(video[0].md5, video[1].md5);
    EXPECT_GT(video[0].size, video[1].size);
}

TEST(OutputJudgeLines, KeepsOnlyTheLinesNoInputHad) {
    EXPECT_EQ(kjtest::LinesNotIn("a\nb\nc\n", {"a\n", "c\nx\n"}), "b\n");
    EXPECT_EQ(kjtest::LinesNotIn("a\n", {"a\n"}), "");
}

}  // namespace
