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

namespace {

// Two small WMV files and one RealMedia file made by ffmpeg, shared by the join tests.
class KjoinJoin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        const std::string source =
            "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1 ";
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(source + "-c:v wmv2 -c:a wmav2", s_dir->File("a.wmv")));
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(source + "-c:v wmv2 -c:a wmav2", s_dir->File("b.wmv")));
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(source + "-c:v rv10 -c:a ac3", s_dir->File("c.rm")));
    }
    static void TearDownTestSuite() { delete s_dir; }

    static std::string File(const char* name) { return s_dir->File(name); }
    kjtest::CommandResult Join(const std::string& args) {
        return kjtest::RunCommand(Kjoin() + " join " + args);
    }
    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* KjoinJoin::s_dir = nullptr;

TEST_F(KjoinJoin, RefusesWhatTheWindowRefuses) {
    kjtest::CommandResult one = Join(File("a.wmv"));
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_NE(one.output.find("Add at least two files"), std::string::npos) << one.output;

    kjtest::CommandResult mixed = Join(File("a.wmv") + " " + File("c.rm"));
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.output.find("same kind as the first file"), std::string::npos) << mixed.output;

    kjtest::TempDir dir;
    ByteWriter rm;
    rm.Text(".RMF").Zeros(40);
    kjtest::WriteFileBytes(dir.File("x.rm"), rm.bytes());
    kjtest::WriteFileBytes(dir.File("y.rm"), rm.bytes());
    kjtest::CommandResult zero = Join(dir.File("x.rm") + " " + dir.File("y.rm"));
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_NE(zero.output.find("no picture size"), std::string::npos) << zero.output;

    kjtest::CommandResult missing = Join(File("a.wmv") + " " + dir.File("gone.wmv"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("gone.wmv: No such file"), std::string::npos) << missing.output;
}

TEST_F(KjoinJoin, NeverWritesOverAnInputOrAnUnconfirmedOutput) {
    kjtest::TempDir dir;
    std::string existing = dir.File("out.wmv");
    kjtest::WriteFileBytes(existing, {'o', 'l', 'd'});
    kjtest::CommandResult r = Join("-o " + existing + " " + File("a.wmv") + " " + File("b.wmv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("already exists; add -y"), std::string::npos) << r.output;
    EXPECT_EQ(kjtest::ReadFileBytes(existing), (std::vector<uint8_t>{'o', 'l', 'd'}));

    std::vector<uint8_t> before = kjtest::ReadFileBytes(File("b.wmv"));
    std::string sameFile = File("b.wmv");
    sameFile.insert(sameFile.rfind('/'), "/.");
    kjtest::CommandResult input =
        Join("-y -o " + sameFile + " " + File("a.wmv") + " " + File("b.wmv"));
    EXPECT_EQ(input.exitCode, 1);
    EXPECT_NE(input.output.find("input file No.2"), std::string::npos) << input.output;
    EXPECT_EQ(kjtest::ReadFileBytes(File("b.wmv")), before);
}

TEST_F(KjoinJoin, AFailedJoinKeepsTheOldOutputAndLeavesNoPartialFile) {
    // A copy of kjoin with its resources but no engine module: the join must fail.
    kjtest::TempDir programs;
    for (const char* file : {"kjoin", "librvkhelper.so"}) {
        kjtest::RunCommand("cp " + kjtest::ShellQuote(kjtest::BinDir() + "/" + file) + " " +
                           kjtest::ShellQuote(programs.path()));
    }
    kjtest::TempDir out;
    std::string existing = out.File("joined.wmv");
    kjtest::WriteFileBytes(existing, {'o', 'l', 'd'});
    kjtest::CommandResult r =
        kjtest::RunCommand(kjtest::ShellQuote(programs.File("kjoin")) + " join -y -o " + existing +
                           " " + File("a.wmv") + " " + File("b.wmv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Windows Media engine"), std::string::npos) << r.output;
    EXPECT_EQ(kjtest::ReadFileBytes(existing), (std::vector<uint8_t>{'o', 'l', 'd'}));
    kjtest::CommandResult listing = kjtest::RunCommand("ls -A " + kjtest::ShellQuote(out.path()));
    EXPECT_EQ(listing.output, "joined.wmv\n");
}

TEST(KjoinJoinHelp, SaysHowToUseIt) {
    kjtest::CommandResult help = kjtest::RunCommand(Kjoin() + " join --help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* text : {"-o, --output OUT", "-y, --overwrite", "Ctrl+C", "Exit status 0"}) {
        EXPECT_NE(help.output.find(text), std::string::npos) << text;
    }
}

}  // namespace
