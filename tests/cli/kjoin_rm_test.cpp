// kjoin joining Real Media files through the rmto3260 module, as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

TEST(KjoinRealMedia, JoinsTwoFilesAndEncodesOneOfAnotherPictureSize) {
    kjtest::TempDir dir;
    const std::string src = "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1.3 ";
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(src + "-c:v rv20 -c:a ac3", dir.File("a.rm")));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(src + "-c:v rv20 -c:a ac3", dir.File("b.rm")));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(src + "-c:v rv20 -s 320x240 -c:a ac3", dir.File("c.rm")));

    const std::string out = dir.File("ab.rm");
    kjtest::CommandResult ok = kjtest::RunCommand(Kjoin() + " join -y -o " + out + " " +
                                                  dir.File("a.rm") + " " + dir.File("b.rm"));
    ASSERT_EQ(ok.exitCode, 0) << ok.output;
    for (const char* s : {"v:0", "a:0"}) {
        EXPECT_EQ(kjtest::CountPackets(out, s), kjtest::CountPackets(dir.File("a.rm"), s) +
                                                    kjtest::CountPackets(dir.File("b.rm"), s))
            << s;
    }
    EXPECT_EQ(kjtest::DecodeErrors(out), "");

    // FFmpeg's RealVideo 2 writes a.rm's headers exactly: c.rm is encoded to them.
    const std::string encoded = dir.File("ac.rm");
    kjtest::CommandResult odd = kjtest::RunCommand(Kjoin() + " join -y -o " + encoded + " " +
                                                   dir.File("a.rm") + " " + dir.File("c.rm"));
    EXPECT_EQ(odd.exitCode, 0) << odd.output;
    EXPECT_EQ(kjtest::Ffprobe(encoded, "stream=width,height", "v:0"), "176\n144");
    EXPECT_EQ(kjtest::DecodeErrors(encoded), "");
}

TEST(KjoinRealMedia, RefusesOtherStreamsWhereTheFirstFileCannotBeMatched) {
    // RealNetworks' RealVideo 1 with 8 kHz AC-3, which no encoder here writes.
    const std::string first =
        std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/rv10-dnet-176x144-1997.rm";
    if (!std::filesystem::exists(first)) {
        GTEST_SKIP() << first << " is not there (the shared media folder is absent)";
    }
    kjtest::TempDir dir;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine -t 1 -c:v rv10 -c:a ac3",
        dir.File("c.rm")));
    const std::string refused = dir.File("ac.rm");
    kjtest::CommandResult bad = kjtest::RunCommand(Kjoin() + " join -y -o " + refused + " " +
                                                   first + " " + dir.File("c.rm") + " 2>&1");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("Can't find matched audio stream in the source files: c.rm has no "
                              "audio stream 0 like rv10-dnet-176x144-1997.rm."),
              std::string::npos)
        << bad.output;
    EXPECT_NE(bad.output.find("c.rm cannot be encoded here to match the first file: the first "
                              "file's sound is ATSC A/52A (AC-3) at 8000 Hz, which the encoder "
                              "here does not write."),
              std::string::npos)
        << bad.output;
    EXPECT_FALSE(std::filesystem::exists(refused));
}

}  // namespace
