// kjoin joining DVD and Super Video CD files as users have them: a title an authoring tool
// ended inside an MP2 frame, and two Super Video CD files, which need no encoding at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/media_fixtures.h"
#include "tests/support/mpeg_ps_fixture.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_expect.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

class KjoinMpegSeams : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(kjtest::MissingReaders(), ""); }
    kjtest::CommandResult Run(const std::string& args) {
        return kjtest::RunCommand("timeout 300 " + Kjoin() + " " + args + " 2>&1");
    }
    kjtest::TempDir m_dir;
};

// A DeVeDe title: DVD packs whose MP2 audio ends 8 bytes into a frame. Joined with itself, the
// part-frame is not glued to the next title's first frame ("[mp2] Header missing", that frame
// lost): it becomes padding, so every pack keeps its 2048 bytes.
TEST_F(KjoinMpegSeams, ATitleEndingInsideAnMp2FrameJoinsWithoutGluingIt) {
    const std::string made = m_dir.File("made.mpg");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t 2.2 "
        "-target pal-dvd -c:a mp2 -b:a 224k",
        made));
    const std::vector<uint8_t> title =
        kjtest::EndAudioInsideItsLastFrame(kjtest::ReadFileBytes(made), {0xC0, -1}, 8);
    ASSERT_FALSE(title.empty());
    const std::string a = m_dir.File("devede_1.mpg");
    ASSERT_TRUE(kjtest::WriteFileBytes(a, title));
    ASSERT_EQ(kjtest::DecodeErrors(a), "");

    const std::string out = m_dir.File("joined.mpg");
    kjtest::CommandResult run = Run("join -y -o " + kjtest::ShellQuote(out) + " " +
                                    kjtest::ShellQuote(a) + " " + kjtest::ShellQuote(a));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_EQ(std::filesystem::file_size(out), 2 * title.size());
    // The first title's part-frame may go; every whole frame of both is there.
    kjtest::ExpectSeamsUnnoticed({{a, true}, {a}}, out);
    EXPECT_EQ(kjtest::CountPackets(out, "a:0"), 2 * kjtest::CountPackets(a, "a:0") - 1);
}

// Two Super Video CD files (MPEG-2 480x576, MP2 at 44.1 kHz) match in every stream: the check
// says so and the join copies them, the audio at its own 44.1 kHz.
TEST_F(KjoinMpegSeams, TwoSuperVideoCdFilesAreCopiedNotEncoded) {
    const std::string a = m_dir.File("a.mpg");
    const std::string b = m_dir.File("b.mpg");
    for (const auto& [path, pattern] : {std::pair{a, "testsrc2"}, std::pair{b, "smptebars"}}) {
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(std::string("-f lavfi -i ") + pattern +
                                               "=size=480x576:rate=25 -f lavfi -i "
                                               "sine=sample_rate=44100 -t 1.6 -target pal-svcd",
                                           path));
    }
    kjtest::CommandResult check =
        Run("check " + kjtest::ShellQuote(a) + " " + kjtest::ShellQuote(b));
    EXPECT_NE(check.output.find("copy every packet"), std::string::npos) << check.output;
    const std::string out = m_dir.File("ab.mpg");
    kjtest::CommandResult run = Run("join -y -o " + kjtest::ShellQuote(out) + " " +
                                    kjtest::ShellQuote(a) + " " + kjtest::ShellQuote(b));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=sample_rate", "a:0"), "44100");
    kjtest::ExpectSeamsUnnoticed({{a}, {b}}, out);
}

}  // namespace
