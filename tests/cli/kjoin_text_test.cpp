// What kjoin prints as a new user meets it: its version, texts in command-line words, one
// "kjoin:" per line and no carriage returns, progress to 100 % on a terminal, and an output
// place that cannot work refused before any join starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Every line of a refusal or failure says once, at its start, who speaks; none holds a '\r'.
void ExpectPlainMessageLines(const std::string& output) {
    EXPECT_EQ(output.find('\r'), std::string::npos) << output;
    for (const std::string& line : Lines(output)) {
        EXPECT_EQ(line.rfind("kjoin: ", 0), 0u) << "line: " << line;
        EXPECT_EQ(line.find("kjoin:", 1), std::string::npos) << "line: " << line;
    }
}

class KjoinTexts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        const std::string clip = "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1 ";
        // MP3 sound, which nothing here encodes: an odd file cannot be encoded to match.
        const std::string codecs = "-c:v wmv2 -c:a libmp3lame";
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(clip + codecs, s_dir->File("a.wmv")));
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(clip + codecs, s_dir->File("b.wmv")));
        // Another picture size: the engine refuses it with a designed two-line text.
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(
            "-f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine -t 1 " + codecs,
            s_dir->File("big.wmv")));
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(clip + "-c:v rv10 -c:a ac3", s_dir->File("c.rm")));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string File(const char* name) { return s_dir->File(name); }
    static kjtest::CommandResult Join(const std::string& args) {
        return kjtest::RunCommand(Kjoin() + " join " + args);
    }
    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* KjoinTexts::s_dir = nullptr;

TEST(KjoinVersion, PrintsTheProgramsVersion) {
    kjtest::CommandResult r = kjtest::RunCommand(Kjoin() + " --version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(std::regex_match(r.output, std::regex("kjoin [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << r.output;
    EXPECT_NE(kjtest::RunCommand(Kjoin() + " --help").output.find("--version"), std::string::npos);
}

TEST_F(KjoinTexts, RefusalsSpeakOfTheCommandLineNotOfButtons) {
    // RealMedia-signed files with no picture size.
    std::vector<uint8_t> rm = {'.', 'R', 'M', 'F'};
    rm.resize(44);
    kjtest::TempDir dir;
    kjtest::WriteFileBytes(dir.File("x.rm"), rm);
    kjtest::WriteFileBytes(dir.File("y.rm"), rm);
    const kjtest::CommandResult refusals[] = {
        Join(File("a.wmv")),
        Join(File("a.wmv") + " " + File("c.rm")),
        Join(dir.File("x.rm") + " " + dir.File("y.rm")),
    };
    for (const kjtest::CommandResult& r : refusals) {
        EXPECT_EQ(r.exitCode, 1);
        for (const char* button : {"press", "Press", "button", "the list"}) {
            EXPECT_EQ(r.output.find(button), std::string::npos) << button << ": " << r.output;
        }
        ExpectPlainMessageLines(r.output);
    }
    EXPECT_NE(refusals[0].output.find("kjoin join FILE1 FILE2"), std::string::npos);
    EXPECT_NE(refusals[1].output.find("Leave out the files of another kind"), std::string::npos);
    EXPECT_NE(refusals[2].output.find("run kjoin join again"), std::string::npos);
}

TEST_F(KjoinTexts, AnEngineMessageOfSeveralLinesHasOnePrefixEachAndNoCarriageReturn) {
    kjtest::TempDir out;
    kjtest::CommandResult r =
        Join("-o " + out.File("j.wmv") + " " + File("a.wmv") + " " + File("big.wmv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("kjoin: File No.2's profile mismatch with the first one\nkjoin: "),
              std::string::npos)
        << r.output;
    ExpectPlainMessageLines(r.output);
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(KjoinTexts, AnOutputThatIsAFolderOrInAMissingFolderIsRefusedBeforeAnyWork) {
    kjtest::TempDir out;
    // The inputs do not even exist: the output is checked first.
    const std::string inputs = " " + out.File("none1.wmv") + " " + out.File("none2.wmv");
    kjtest::CommandResult folder = Join("-o " + out.path() + inputs);
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.output.find(out.path() + " is a folder"), std::string::npos) << folder.output;
    kjtest::CommandResult slash = Join("-o " + out.File("new/") + inputs);
    EXPECT_EQ(slash.exitCode, 1);
    EXPECT_NE(slash.output.find("names a folder"), std::string::npos) << slash.output;
    kjtest::CommandResult missing = Join("-o " + out.File("no/such/j.wmv") + inputs);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("the folder " + out.File("no/such") + " of"), std::string::npos)
        << missing.output;
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos) << missing.output;
    for (const auto* r : {&folder, &slash, &missing}) {
        EXPECT_EQ(r->output.find("none1.wmv"), std::string::npos) << r->output;
        ExpectPlainMessageLines(r->output);
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(KjoinTexts, ProgressReachesOneHundredPercentOnATerminal) {
    if (!kjtest::HaveProgram("script")) {
        GTEST_SKIP() << "script (util-linux) is needed to give kjoin a terminal";
    }
    kjtest::TempDir out;
    std::string command =
        Kjoin() + " join -o " + out.File("j.wmv") + " " + File("a.wmv") + " " + File("b.wmv");
    kjtest::CommandResult r =
        kjtest::RunCommand("script -qec " + kjtest::ShellQuote(command) + " /dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    size_t last = r.output.rfind("%]");
    ASSERT_NE(last, std::string::npos) << r.output;
    EXPECT_EQ(r.output.substr(last - 4, 6), "[100%]") << r.output;
    EXPECT_NE(r.output.find(out.File("j.wmv")), std::string::npos);

    // Away from a terminal the lines are plain: no carriage return, the last one at 100 %.
    kjtest::CommandResult plain =
        Join("-y -o " + out.File("j.wmv") + " " + File("a.wmv") + " " + File("b.wmv"));
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.output.find('\r'), std::string::npos) << plain.output;
    EXPECT_NE(plain.output.find("100%"), std::string::npos) << plain.output;
}

}  // namespace
