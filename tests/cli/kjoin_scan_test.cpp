// `kjoin probe` on AVI and MPEG files: the conversion module scans them as adding them to the
// window's list does; without the module the rows stay and standard error says why.
#include <gtest/gtest.h>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin(const std::string& binDir) {
    return kjtest::ShellQuote(binDir + "/kjoin");
}

TEST(KjoinProbeScan, AviAndMpegFilesShowTheModulesValues) {
    kjtest::TempDir dir;
    std::string dvd = dir.File("dvd.mpg");
    std::string avi = dir.File("clip.avi");
    std::string error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=352x288:rate=25:duration=1 -f lavfi -i sine=duration=1 "
        "-target pal-dvd",
        dvd, &error))
        << error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v msmpeg4v2", avi, &error))
        << error;
    kjtest::CommandResult r =
        kjtest::RunCommand(Kjoin(kjtest::BinDir()) + " probe " + dvd + " " + avi);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Width/Height:  720/576"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Type:          MPEG-2"), std::string::npos) << r.output;
    std::string frames = std::to_string(kjtest::CountPackets(dvd, "v:0"));
    EXPECT_NE(
        r.output.find("Video:MPEG-2 video Frame:" + frames + " Freq:25.00FPS Audio:Dolby AC-3"),
        std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("Width/Height:  160/120"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Video:Microsoft MPEG-4 V2 Frame:20 Freq:10.00FPS"), std::string::npos)
        << r.output;
}

TEST(KjoinProbeScan, WithoutTheModuleTheRowsStayAndTheReasonIsGiven) {
    // A copy of the program without the conversion module beside it.
    kjtest::TempDir dir;
    std::string bin = dir.File("bin");
    kjtest::CommandResult copy = kjtest::RunCommand(
        "mkdir " + kjtest::ShellQuote(bin) + " && cp " +
        kjtest::ShellQuote(kjtest::BinDir() + "/kjoin") + " " +
        kjtest::ShellQuote(kjtest::BinDir() + "/librvkhelper.so") + " " + kjtest::ShellQuote(bin));
    ASSERT_EQ(copy.exitCode, 0) << copy.output;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=352x288:rate=25:duration=1 -target pal-vcd", mpg, &error))
        << error;
    kjtest::CommandResult r = kjtest::RunCommand(Kjoin(bin) + " probe " + mpg);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Type:          MPEG"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Width/Height:  0/0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("conversion engine (libzivuvore.so, next to the program) is missing"),
              std::string::npos)
        << r.output;
}

}  // namespace
