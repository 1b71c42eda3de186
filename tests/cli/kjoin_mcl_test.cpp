// kjoin joining AVI and MPEG files through the conversion module, as a user runs it: the whole
// path from the probe to the output, with the progress the library reports.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

struct JoinCase {
    const char* name;
    const char* extension;
    const char* encoding;  // ffmpeg's output options for both inputs
};

class KjoinConversion : public testing::TestWithParam<JoinCase> {};

TEST_P(KjoinConversion, JoinsTwoFilesWithProgressToTheEnd) {
    const JoinCase& c = GetParam();
    kjtest::TempDir dir;
    const std::string a = dir.File(std::string("a.") + c.extension);
    const std::string b = dir.File(std::string("b.") + c.extension);
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        std::string("-f lavfi -i testsrc=size=352x288:rate=25:duration=1.6 -f lavfi -i "
                    "sine=duration=1.6 ") +
            c.encoding,
        a));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        std::string("-f lavfi -i testsrc=size=352x288:rate=25:duration=1.2 -f lavfi -i "
                    "sine=duration=1.2:frequency=880 ") +
            c.encoding,
        b));

    const std::string out = dir.File(std::string("ab.") + c.extension);
    kjtest::CommandResult run =
        kjtest::RunCommand("timeout 120 " + Kjoin() + " join -y -o " + out + " " + a + " " + b);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Preparing Joining..."), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("100%"), std::string::npos) << run.output;
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"),
              kjtest::CountPackets(a, "v:0") + kjtest::CountPackets(b, "v:0"));
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    // Nothing but the inputs and the output is left in the folder.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KjoinConversion,
    testing::Values(JoinCase{"Avi", "avi", "-c:v mpeg4 -vtag DX50 -c:a pcm_s16le"},
                    JoinCase{"VideoCd", "mpg", "-target pal-vcd"}),
    [](const testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

// DVD title files (*.vob) join by their content, through the pack copier: every stream and
// navigation pack kept, nothing decoded.
TEST(KjoinMpegCopy, VobFilesJoinWithEveryPacketAndTheirStartsReported) {
    kjtest::TempDir dir;
    const std::string a = dir.File("VTS_01_1.VOB");
    const std::string b = dir.File("VTS_01_2.vob");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t 2 "
        "-target pal-dvd -f dvd",
        a));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000:frequency=880 "
        "-t 1.6 -target pal-dvd -f dvd",
        b));
    const std::string out = dir.File("title.vob");
    kjtest::CommandResult run =
        kjtest::RunCommand("timeout 120 " + Kjoin() + " join -y -o " + out + " " + a + " " + b);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"),
              kjtest::CountPackets(a, "v:0") + kjtest::CountPackets(b, "v:0"));
    EXPECT_EQ(kjtest::CountPackets(out, "a:0"),
              kjtest::CountPackets(a, "a:0") + kjtest::CountPackets(b, "a:0"));
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
}

TEST(KjoinMpegCopy, AnInputCutShortIsJoinedToItsLastWholePictureWithAWarning) {
    kjtest::TempDir dir;
    const std::string a = dir.File("a.mpg");
    const std::string cut = dir.File("cut.mpg");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi -i sine -t 3 -target pal-vcd", a));
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(a);
    bytes.resize(bytes.size() * 7 / 10);
    ASSERT_TRUE(kjtest::WriteFileBytes(cut, bytes));
    const std::string out = dir.File("out.mpg");
    kjtest::CommandResult run =
        kjtest::RunCommand("timeout 120 " + Kjoin() + " join -y -o " + out + " " + cut + " " + a);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("kjoin: warning: cut.mpg is cut short: its first "),
              std::string::npos)
        << run.output;
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    // Before a seam its pictures end with its sound, which the cut left a little shorter: at
    // most its whole pictures, and not a second fewer.
    const int64_t whole = kjtest::CountPackets(cut, "v:0") - 1;
    const int64_t kept = kjtest::CountPackets(out, "v:0") - kjtest::CountPackets(a, "v:0");
    EXPECT_LE(kept, whole);
    EXPECT_GE(kept, whole - 25);
}

}  // namespace
