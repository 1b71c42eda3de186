// The command-line front end, run as a program.
#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

TEST(KjoinProbe, PrintsColumnsAndInfoLineAndFailsForUnreadableFiles) {
    kjtest::TempDir dir;
    ByteWriter rm;
    rm.Text(".RMF").Zeros(40);
    ASSERT_TRUE(kjtest::WriteFileBytes(dir.File("a.rm"), rm.bytes()));

    kjtest::CommandResult ok = kjtest::RunCommand(Kjoin() + " probe " + dir.File("a.rm"));
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_NE(ok.output.find("Type:          Real Media"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("File Size(KB):     0.04 KB"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("Video: Frame:0 Freq:0.00FPS"), std::string::npos) << ok.output;

    kjtest::CommandResult bad =
        kjtest::RunCommand(Kjoin() + " probe " + dir.File("a.rm") + " " + dir.File("none.wmv"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("none.wmv: No such file or directory"), std::string::npos);
}

TEST(KjoinProbe, JsonHoldsEveryFieldOrTheError) {
    kjtest::TempDir dir;
    ByteWriter text;
    text.Text("not a video");
    ASSERT_TRUE(kjtest::WriteFileBytes(dir.File("x.avi"), text.bytes()));
    ByteWriter mpeg;
    mpeg.Bytes("\x00\x00\x01\xBA", 4).Zeros(60);
    ASSERT_TRUE(kjtest::WriteFileBytes(dir.File("y.mpg"), mpeg.bytes()));
    kjtest::CommandResult r = kjtest::RunCommand(Kjoin() + " probe --json " + dir.File("y.mpg") +
                                                 " " + dir.File("x.avi") + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 1);
    for (const char* field :
         {"\"path\"", "\"hasAudio\"", "\"width\"", "\"height\"", "\"kind\"",
          "\"kindText\": \"MPEG\"", "\"fileSize\": 64", "\"frameRate\"", "\"frameCount\"",
          "\"duration\"", "\"audioRate\"", "\"videoCodec\"", "\"audioCodec\"", "\"fourcc\"",
          "\"infoLine\"", "\"error\": \"Not an AVI, MPEG, Real Media or WMV/ASF file\""}) {
        EXPECT_NE(r.output.find(field), std::string::npos) << field << "\n" << r.output;
    }
}

TEST(Kjoin, HelpAndUnknownCommands) {
    kjtest::CommandResult help = kjtest::RunCommand(Kjoin() + " --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("probe [--json] FILE..."), std::string::npos);
    EXPECT_EQ(kjtest::RunCommand(Kjoin()).exitCode, 1);
    EXPECT_EQ(kjtest::RunCommand(Kjoin() + " frobnicate").exitCode, 1);
    EXPECT_EQ(kjtest::RunCommand(Kjoin() + " probe --help").exitCode, 0);
}

}  // namespace
