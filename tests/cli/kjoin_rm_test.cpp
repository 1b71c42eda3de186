// kjoin joining Real Media files through the rmto3260 module, as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

TEST(KjoinRealMedia, JoinsTwoFilesAndRefusesAnotherPictureSize) {
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

    const std::string refused = dir.File("ac.rm");
    kjtest::CommandResult bad = kjtest::RunCommand(Kjoin() + " join -y -o " + refused + " " +
                                                   dir.File("a.rm") + " " + dir.File("c.rm"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("The video stream of the source files are mismatch: in c.rm the "
                              "picture is 320x240, not 176x144 as in a.rm."),
              std::string::npos)
        << bad.output;
    EXPECT_FALSE(std::filesystem::exists(refused));
}

}  // namespace
